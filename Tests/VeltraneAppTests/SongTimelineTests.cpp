// The song timeline: card sizes and contents, the loop tint and label, selection by click, and moving
// blocks by dragging one card onto another, with the drops it refuses.

#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Song/SongTimeline.hpp"
#include "Veltrane/Views/Song/SongTimelineView.hpp"
#include "Veltrane/Views/Tracker/TrackerPanel.hpp"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QLabel>
#include <QMimeData>

#include <limits>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

SongArrangement songOf(std::vector<int> repeats)
{
    SongArrangement song;
    for (const int count : repeats) song.blocks.push_back(SongBlock{.pattern = 0, .repeats = count});
    return song;
}

class SongTimelineTest : public WidgetTest {
protected:
    AppModel& songModel(std::vector<int> blocks)
    {
        AppModel& model = harness.make();
        Project project = model.project();
        while (project.patterns.size() < 3) project.addPattern();
        project.arrangement->blocks.clear();
        for (const int pattern : blocks) project.arrangement->blocks.push_back(SongBlock{.pattern = pattern});
        project.syncOrderFromArrangement();
        model.setProject(std::move(project));
        return model;
    }

    SongTimeline& open(AppModel& model)
    {
        timeline = std::make_unique<SongTimeline>(model);
        timeline->resize(900, SongTimeline::stripHeight);
        timeline->show();
        settle();
        return *timeline;
    }

    /// Drags `data` onto card `destination` and drops it there; returns whether the strip took it. As
    /// in a real drag, the drop reaches only a strip that took the drag when it entered.
    static bool drop(SongTimelineView& view, int destination, QMimeData* data)
    {
        QWidget* strip = view.strip();
        const QPointF at = QRectF(view.cardRect(destination)).center();
        QDragEnterEvent enter(at.toPoint(), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(strip, &enter);
        bool taken = false;
        if (enter.isAccepted()) {
            QDropEvent event(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(strip, &event);
            taken = event.isAccepted();
            EXPECT_TRUE(taken) << "the strip took the drag but refused its drop";
        }
        delete data;
        return taken;
    }

    static QColor pixelInCard(SongTimelineView& view, int card)
    {
        const QImage image = view.strip()->grab().toImage();
        const QRect box = view.cardRect(card);
        return image.pixelColor(box.left() + box.width() / 2, box.bottom() - 4);
    }

    ModelHarness harness;
    std::unique_ptr<SongTimeline> timeline;
};

} // namespace

TEST_F(SongTimelineTest, CardWidthsFollowTheRepeats)
{
    const std::pair<int, int> widths[] = {{1, 86}, {2, 98}, {6, 146}, {7, 158}, {8, 160}, {64, 160}};
    for (auto [repeats, width] : widths) EXPECT_EQ(SongTimelineView::cardWidth(repeats), width) << repeats;

    SongTimelineView view;
    view.display(songOf({1, 2, 64}), {Pattern("Intro", 16, 4)}, 0);
    EXPECT_EQ(view.cardRect(0).width(), 86);
    EXPECT_EQ(view.cardRect(1).left(), view.cardRect(0).right() + 1 + SongTimelineView::cardSpacing);
    EXPECT_EQ(view.cardRect(2).width(), 160);
    EXPECT_EQ(view.cardRect(2).height(), SongTimelineView::cardHeight);
    EXPECT_EQ(view.accessibleName(), QStringLiteral("Song timeline with 3 blocks"));
}

TEST_F(SongTimelineTest, LoopRegionTintsItsCardsAndNamesThemFromOne)
{
    SongTimelineView view;
    view.resize(800, 94);
    SongArrangement song = songOf({1, 1, 1, 1});
    song.loop = SongLoopRegion{.startBlock = 1, .endBlock = 2, .enabled = true};
    view.display(song, {Pattern("A", 16, 4)}, 3);
    view.show();
    settle();
    EXPECT_TRUE(view.loopLabel()->isVisibleTo(&view));
    EXPECT_EQ(view.loopLabel()->text(), QStringLiteral("LOOP 2\u20133"));
    const QColor outside = pixelInCard(view, 0);
    EXPECT_EQ(pixelInCard(view, 3), outside);
    EXPECT_NE(pixelInCard(view, 1), outside);
    EXPECT_EQ(pixelInCard(view, 1), pixelInCard(view, 2));
    EXPECT_GT(pixelInCard(view, 1).blue(), outside.blue());

    song.loop.enabled = false;
    view.display(song, {Pattern("A", 16, 4)}, 3);
    settle();
    EXPECT_FALSE(view.loopLabel()->isVisibleTo(&view));
    for (int i = 1; i < 4; ++i) EXPECT_EQ(pixelInCard(view, i), pixelInCard(view, 0)) << i;
}

TEST_F(SongTimelineTest, TheStripShowsInSongModeAndFollowsTheModel)
{
    AppModel& model = songModel({0, 1, 2});
    TrackerPanel panel(model, [] { return 0; });
    panel.show();
    settle();
    EXPECT_FALSE(panel.songTimeline()->isVisibleTo(&panel));
    model.setSongMode(true);
    settle();
    EXPECT_TRUE(panel.songTimeline()->isVisibleTo(&panel));
    EXPECT_EQ(panel.songTimeline()->height(), SongTimeline::stripHeight);
    SongTimelineView* view = panel.songTimeline()->view();
    EXPECT_EQ(view->accessibleName(), QStringLiteral("Song timeline with 3 blocks"));
    model.addOrder();
    settle();
    EXPECT_EQ(view->accessibleName(), QStringLiteral("Song timeline with 4 blocks"));
    EXPECT_EQ(view->selectedBlock(), 3);

    // A click selects; the edited pattern follows while stopped.
    QTest::mouseClick(view->strip(), Qt::LeftButton, {}, view->cardRect(1).center());
    settle();
    EXPECT_EQ(model.selectedSongBlock(), 1);
    EXPECT_EQ(model.patternIndex(), 1);
    EXPECT_EQ(view->selectedBlock(), 1);

    // Without a song the strip shows one block of the first pattern.
    Project project = model.project();
    project.arrangement.reset();
    model.setProject(project);
    settle();
    ASSERT_EQ(view->arrangement().blocks.size(), 1u);
    EXPECT_EQ(view->arrangement().blocks[0].pattern, 0);
    EXPECT_FALSE(view->arrangement().loop.enabled);
}

TEST_F(SongTimelineTest, DraggingACardOntoAnotherMovesTheBlock)
{
    AppModel& model = songModel({0, 1, 2, 0});
    SongTimeline& t = open(model);
    SongTimelineView& view = *t.view();
    const auto before = model.project().arrangement->blocks;
    ASSERT_TRUE(drop(view, 2, view.dragPayload(0)));
    settle();
    const auto& after = model.project().arrangement->blocks;
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after[0].id, before[1].id);
    EXPECT_EQ(after[1].id, before[2].id);
    EXPECT_EQ(after[2].id, before[0].id);
    EXPECT_EQ(after[3].id, before[3].id);
    EXPECT_EQ(model.selectedSongBlock(), 2);
    EXPECT_EQ(model.undoStack().size(), 1u);
    model.undo();
    EXPECT_EQ(model.project().arrangement->blocks, before);
}

TEST_F(SongTimelineTest, RefusesDropsThatWouldMoveNothing)
{
    AppModel& model = songModel({0, 1, 2, 0});
    SongTimeline& t = open(model);
    SongTimelineView& view = *t.view();
    SongTimelineView stranger;
    stranger.display(model.project().arrangement.value(), model.project().patterns, 0);
    // A card of this strip whose text says `body`.
    auto text = [&](const QString& body) {
        QMimeData* data = view.dragPayload(0);
        data->setText(body);
        return data;
    };
    auto plainText = [](const QString& body) {
        auto* data = new QMimeData;
        data->setText(body);
        return data;
    };
    EXPECT_FALSE(drop(view, 1, view.dragPayload(1))) << "onto itself";
    EXPECT_FALSE(drop(view, 1, text(QStringLiteral("9")))) << "no such block";
    EXPECT_FALSE(drop(view, 1, text(QStringLiteral("-1")))) << "negative";
    EXPECT_FALSE(drop(view, 1, text(QStringLiteral("abc")))) << "not a number";
    EXPECT_FALSE(drop(view, 1, plainText(QStringLiteral("0")))) << "text from another program";
    EXPECT_FALSE(drop(view, 1, stranger.dragPayload(0))) << "a card of another strip";
    EXPECT_TRUE(model.undoStack().empty());
    EXPECT_TRUE(drop(view, 1, text(QStringLiteral("+3"))));
    EXPECT_EQ(model.undoStack().size(), 1u);
}

TEST_F(SongTimelineTest, ParsesDroppedIndicesAsSignedDecimals)
{
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"3", 3},
        {"+3", 3},
        {"-2", -2},
        {"007", 7},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"9223372036854775808", std::nullopt},
        {"-9223372036854775809", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"1.0", std::nullopt},
        {"abc", std::nullopt},
        {"\u0663", std::nullopt}, // an Arabic-Indic digit is a digit, but not a decimal one of ours
    };
    for (auto [text, expected] : cases)
        EXPECT_EQ(SongTimelineView::parseBlockIndex(QString::fromUtf8(text)), expected) << text;
}
