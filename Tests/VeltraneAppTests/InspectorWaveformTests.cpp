// The sample editor's waveform view and the overview's levels of detail.

#include "InspectorTestSupport.hpp"

#include "Veltrane/Views/Inspector/SampleWaveformView.hpp"

#include <QImage>

using namespace veltrane;
using namespace veltrane::inspector;
using namespace veltrane::testing;

namespace {

/// The view at 200 × 86 with a full-scale overview of `pairs` columns.
struct ApplicationFirst {
    ApplicationFirst() { ensureApplication(); }
};

// The application must exist before the view, which is a member: a base is made before members.
struct WaveformFixture : ApplicationFirst {
    explicit WaveformFixture(int pairs = 400)
    {
        std::vector<float> peaks;
        for (int i = 0; i < pairs; ++i) {
            peaks.push_back(-1);
            peaks.push_back(1);
        }
        view.setPeaks(std::move(peaks));
        view.resize(200, 86);
        view.show();
    }

    QImage picture()
    {
        QImage image(view.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        view.render(&image);
        return image;
    }

    void drag(double fromX, double toX)
    {
        QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(static_cast<int>(fromX), 40));
        QTest::mouseMove(&view, QPoint(static_cast<int>((fromX + toX) / 2), 40));
        QTest::mouseMove(&view, QPoint(static_cast<int>(toX), 40));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(static_cast<int>(toX), 40));
    }

    SampleWaveformView view;
};

bool isCyan(QRgb pixel) { return qBlue(pixel) > 150 && qGreen(pixel) > 120 && qRed(pixel) < 100; }

} // namespace

TEST(InspectorWaveform, LevelsJoinNeighbouringColumnsDownToAFewPairs)
{
    WaveformLevels levels({-0.1f, 0.2f, -0.5f, 0.1f, -0.2f, 0.9f, 0.0f, 0.3f, -0.3f, 0.4f, 7.0f});
    EXPECT_EQ(levels.finestPairCount(), 5) << "a trailing odd value is ignored";
    ASSERT_EQ(levels.levelCount(), 3);
    const auto middle = levels.level(1);
    EXPECT_EQ(std::vector<float>(middle.begin(), middle.end()), (std::vector<float>{-0.5f, 0.2f, -0.2f, 0.9f, -0.3f, 0.4f}));
    const auto top = levels.level(2);
    EXPECT_EQ(std::vector<float>(top.begin(), top.end()), (std::vector<float>{-0.5f, 0.9f, -0.3f, 0.4f}));

    // The coarsest level that still gives the columns asked for over the visible part.
    EXPECT_EQ(levels.levelFor(0, 1, 2).size(), 4u);
    EXPECT_EQ(levels.levelFor(0, 1, 3).size(), 6u);
    EXPECT_EQ(levels.levelFor(0, 0.5, 3).size(), 10u);
    EXPECT_EQ(levels.levelFor(0, 0.01, 1000).size(), 10u) << "the finest when none has enough";
    EXPECT_TRUE(WaveformLevels({0.5f}).levelFor(0, 1, 1).empty());
}

TEST(InspectorWaveform, TellsAssistiveTechnologyTheTrimAndSlices)
{
    WaveformFixture fixture;
    fixture.view.setMarks(0.25, 0.999, std::nullopt, std::nullopt, {0.3, 0.5, 0.7});
    EXPECT_EQ(fixture.view.accessibleName(), "Sample waveform");
    EXPECT_EQ(fixture.view.accessibleValue(), "Trimmed from 25 to 99 percent, 3 slices");
    EXPECT_EQ(fixture.view.accessibleDescription(), fixture.view.accessibleValue());
}

TEST(InspectorWaveform, DrawsTheWaveOnlyInsideTheTrimAndNothingWithoutAnOverview)
{
    WaveformFixture fixture;
    fixture.view.setMarks(0.5, 1.0, std::nullopt, std::nullopt, {});
    QImage picture = fixture.picture();
    EXPECT_FALSE(isCyan(picture.pixel(50, 43))) << "the trimmed part is darkened";
    EXPECT_TRUE(isCyan(picture.pixel(150, 43)));

    fixture.view.setPeaks({0.5f});
    picture = fixture.picture();
    for (int x = 10; x < 190; x += 10) EXPECT_FALSE(isCyan(picture.pixel(x, 43))) << x;
}

TEST(InspectorWaveform, AClickTogglesASliceAtItsFractionOfTheWidth)
{
    WaveformFixture fixture;
    std::vector<double> toggled;
    fixture.view.onToggleSlice = [&](double fraction) { toggled.push_back(fraction); };
    fixture.view.setMarks(0, 1, std::nullopt, std::nullopt, {});
    QTest::mouseClick(&fixture.view, Qt::LeftButton, {}, QPoint(50, 40));
    ASSERT_EQ(toggled.size(), 1u);
    EXPECT_DOUBLE_EQ(toggled[0], 0.25);

    // Zoomed into the second half, the same place is three quarters of the way through the sample.
    fixture.view.setVisibleRange(0.5, 1.0);
    QTest::mouseClick(&fixture.view, Qt::LeftButton, {}, QPoint(100, 40));
    ASSERT_EQ(toggled.size(), 2u);
    EXPECT_DOUBLE_EQ(toggled[1], 0.75);
}

TEST(InspectorWaveform, DraggingAMarkReportsItOnceWhenLetGo)
{
    WaveformFixture fixture;
    std::vector<std::pair<SampleWaveformView::Handle, double>> moves;
    std::vector<double> toggled;
    fixture.view.onHandleMoved = [&](SampleWaveformView::Handle handle, double at) { moves.emplace_back(handle, at); };
    fixture.view.onToggleSlice = [&](double fraction) { toggled.push_back(fraction); };
    fixture.view.setMarks(0.1, 0.9, 0.4, 0.6, {});

    fixture.drag(20, 60); // the trim start, at 20 pixels
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].first, SampleWaveformView::Handle::trimStart);
    EXPECT_DOUBLE_EQ(moves[0].second, 0.3);
    EXPECT_DOUBLE_EQ(fixture.view.trimStart(), 0.3);

    // The loop end, at 0.6 of the trimmed audio: 0.66 of the whole now the trim starts at 0.3. Dragged past
    // the edge.
    fixture.drag(132, 400);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[1].first, SampleWaveformView::Handle::loopEnd);
    EXPECT_DOUBLE_EQ(moves[1].second, 1.0);
    EXPECT_TRUE(toggled.empty()) << "a drag is not a click";
}

// The view keeps the wave it drew while only the marks change; a new part of the sample, a new size or
// a sharper screen draws it afresh.
TEST(InspectorWaveform, DrawsTheWaveAfreshForANewPartSizeOrPixelDensity)
{
    WaveformFixture fixture;
    // Full scale over the first half of the sample, silence over the second.
    std::vector<float> peaks;
    for (int i = 0; i < 400; ++i) {
        const float level = i < 200 ? 1.0f : 0.0f;
        peaks.insert(peaks.end(), {-level, level});
    }
    fixture.view.setPeaks(std::move(peaks));
    fixture.view.setMarks(0, 1, std::nullopt, std::nullopt, {});
    EXPECT_TRUE(isCyan(fixture.picture().pixel(50, 20)));
    fixture.view.setMarks(0, 1, 0.1, 0.9, {0.5});
    EXPECT_TRUE(isCyan(fixture.picture().pixel(50, 20)));

    fixture.view.setVisibleRange(0.5, 1.0);
    EXPECT_FALSE(isCyan(fixture.picture().pixel(50, 20))) << "the silent half fills the view";
    fixture.view.setVisibleRange(0.0, 0.5);
    fixture.view.resize(100, 86);
    QImage picture = fixture.picture();
    EXPECT_TRUE(isCyan(picture.pixel(50, 20)));
    EXPECT_TRUE(isCyan(picture.pixel(50, 70)));

    // At two device pixels a point the wave covers the same places.
    QImage sharp(fixture.view.size() * 2, QImage::Format_ARGB32);
    sharp.setDevicePixelRatio(2);
    sharp.fill(Qt::white);
    fixture.view.render(&sharp);
    for (const auto& [x, y] : {std::pair{100, 40}, {100, 140}, {20, 86}, {180, 86}}) EXPECT_TRUE(isCyan(sharp.pixel(x, y))) << x << "," << y;
    EXPECT_FALSE(isCyan(sharp.pixel(100, 4))) << "above full scale";
}

// Loop and slice points are fractions of the audio the trim keeps, as playback plays them: over the
// picture of the whole sample they stand inside the trim, and clicks and loop drags come back in the
// same terms.
TEST(InspectorWaveform, LoopAndSliceMarksStandInsideTheTrim)
{
    WaveformFixture fixture;
    fixture.view.setPeaks(std::vector<float>(800, 0.0f)); // silence: the wave is a line across the middle
    fixture.view.setMarks(0.5, 1.0, std::nullopt, std::nullopt, {0.5});
    // A mint slice mark, or with `loop` a purple loop mark, near x above the wave's line.
    const auto markAt = [](const QImage& picture, int x, bool loop = false) {
        for (int column = x - 2; column <= x + 2; ++column) {
            for (int y = 0; y < 40; ++y) {
                const QRgb pixel = picture.pixel(column, y);
                if (loop ? qRed(pixel) > 100 && qBlue(pixel) > 150 && qGreen(pixel) < 100 : qRed(pixel) < 80 && qGreen(pixel) > 100)
                    return true;
            }
        }
        return false;
    };
    QImage picture = fixture.picture();
    EXPECT_TRUE(markAt(picture, 150)) << "half way through the kept second half";
    EXPECT_FALSE(markAt(picture, 100)) << "not half way across the whole";

    fixture.view.setMarks(0.5, 1.0, 0.2, 0.8, {});
    picture = fixture.picture();
    EXPECT_TRUE(markAt(picture, 120, true));
    EXPECT_TRUE(markAt(picture, 180, true));
    EXPECT_FALSE(markAt(picture, 40, true));

    std::vector<double> toggled;
    std::vector<std::pair<SampleWaveformView::Handle, double>> moves;
    fixture.view.onToggleSlice = [&](double fraction) { toggled.push_back(fraction); };
    fixture.view.onHandleMoved = [&](SampleWaveformView::Handle handle, double at) { moves.emplace_back(handle, at); };
    QTest::mouseClick(&fixture.view, Qt::LeftButton, {}, QPoint(150, 40));
    ASSERT_EQ(toggled.size(), 1u);
    EXPECT_DOUBLE_EQ(toggled[0], 0.5);
    fixture.drag(120, 140);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].first, SampleWaveformView::Handle::loopStart);
    EXPECT_DOUBLE_EQ(moves[0].second, 0.4);
}
