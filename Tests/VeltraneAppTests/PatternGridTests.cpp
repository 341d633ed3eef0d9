#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Tracker/CellText.hpp"
#include "Veltrane/Views/Tracker/PatternGridView.hpp"
#include "Veltrane/Views/Tracker/TrackerPatternGrid.hpp"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

class PatternGrid : public WidgetTest {};

QColor pixel(const QImage& image, double x, double y) { return image.pixelColor(static_cast<int>(x), static_cast<int>(y)); }

QImage paint(const PatternGridView& grid, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    const QRectF all(QPointF(0, 0), QSizeF(size));
    grid.paintContent(painter, all, all);
    return image;
}

} // namespace

TEST(CellText, WritesEachColumnOrItsPlaceholder)
{
    const QString dot = QStringLiteral("\u00B7");
    const struct {
        Cell cell;
        QString text;
    } cases[] = {
        {Cell{}, dot.repeated(3) + " " + dot.repeated(2) + " " + dot.repeated(2) + "  " + dot.repeated(3) + " " + dot.repeated(3)},
        {Cell{.note = NoteOff{}, .instrument = 1, .volume = 64},
         "OFF 01 40  " + dot.repeated(3) + " " + dot.repeated(3)},
        {Cell{.note = NotePitch{60}, .instrument = 10, .volume = 0,
              .effects = {Effect{EffectType::arpeggio, 0x37}, Effect{EffectType::chance, 0xFF}}},
         QStringLiteral("C-5 0A 00  A37 CFF")},
        {Cell{.note = NoteTie{}, .effects = {std::nullopt, Effect{EffectType::chord, 4}}},
         "TIE " + dot.repeated(2) + " " + dot.repeated(2) + "  " + dot.repeated(3) + " H04"},
    };
    for (const auto& [cell, text] : cases) EXPECT_EQ(cellText(cell).toStdString(), text.toStdString());
    EXPECT_EQ(hex2(16), "10");
    EXPECT_EQ(hex2(255), "FF");
    EXPECT_EQ(hex2(256), "100");
}

TEST_F(PatternGrid, HitTestingClampsIntoThePatternAndPicksTheColumn)
{
    PatternGridView grid;
    grid.show(GridContent{.pattern = Pattern("P", 16, 4)});
    const struct {
        QPointF point;
        GridTarget target;
    } cases[] = {
        {{42 + 5 + 0, 24 + 1}, {0, 0, CellField::note}},
        {{42 + 166 * 2 + 10, 24 * 5 + 3}, {4, 2, CellField::note}},
        {{5000, 9000}, {15, 3, CellField::effect2}}, // beyond the last track and row
        {{0, 0}, {0, 0, CellField::note}},           // the gutter and header clamp too
    };
    for (const auto& [point, target] : cases) {
        const auto hit = grid.target(point);
        EXPECT_EQ(hit, target) << point.x() << "," << point.y() << " gave " << hit.row << "/" << hit.track << "/"
                               << toRawValue(hit.field);
    }

    // The columns stand where the cell text puts them ("C-5 0A 00  A37 CFF" from 7 points in): each box
    // holds its text with 3 points to spare, in order, inside the track; a click anywhere in a box, or
    // in the nearer half of the gap beside it, picks that column.
    const double character = QFontMetricsF(Theme::current().monospaced(12, QFont::Medium)).horizontalAdvance('0');
    const int firstCharacter[] = {0, 4, 7, 11, 15};
    const int characters[] = {3, 2, 2, 3, 3};
    double previousEnd = 0;
    for (std::size_t i = 0; i < allCellFields.size(); ++i) {
        const CellField field = allCellFields[i];
        SCOPED_TRACE(toRawValue(field));
        const auto box = grid.columnBox(field);
        EXPECT_NEAR(box.offset, 7 + firstCharacter[i] * character - 3, 1e-9);
        EXPECT_NEAR(box.width, characters[i] * character + 6, 1e-9);
        EXPECT_GE(box.offset, previousEnd);
        EXPECT_LE(box.offset + box.width, PatternGridView::trackWidth);
        const double trackLeft = 42 + 166;
        for (const double x : {box.offset + 0.5, box.offset + box.width / 2, box.offset + box.width - 0.5}) {
            EXPECT_EQ(grid.target({trackLeft + x, 24 * 3 + 1}), (GridTarget{2, 1, field})) << x;
        }
        if (i > 0) {
            const double gapMiddle = (previousEnd + box.offset) / 2;
            EXPECT_EQ(grid.target({trackLeft + gapMiddle - 0.1, 30}).field, allCellFields[i - 1]);
            EXPECT_EQ(grid.target({trackLeft + gapMiddle + 0.1, 30}).field, field);
        }
        previousEnd = box.offset + box.width;
    }
    // A pattern of one row and one track: every click right of the gutter below the header is its cell.
    grid.show(GridContent{.pattern = Pattern("P", 1, 1)});
    EXPECT_EQ(grid.contentSize(), QSizeF(208, 48));
    EXPECT_EQ(grid.target({300, 400}), (GridTarget{0, 0, CellField::effect2}));
}

TEST_F(PatternGrid, DrawsShadingCursorSelectionAndTrackColours)
{
    PatternGridView grid;
    grid.resize(800, 600);
    Pattern pattern("P", 64, 10);
    pattern.setCell(2, 8, Cell{.note = NotePitch{60}});
    PlaybackUIState playback;
    grid.setPlaybackState(&playback);
    grid.show(GridContent{.pattern = pattern, .selectedRow = 5, .selectedTrack = 1, .selectedField = CellField::volume,
                          .selection = CellRange{5, 1, 6, 2}});
    playback.row = 8;
    grid.followPlayback();

    const QImage image = paint(grid, QSize(42 + 166 * 10, 24 * 12));
    const Theme& theme = Theme::current();
    const QColor background = pixel(image, 20, 24 + 24 * 1 + 12); // row 1: no shading
    EXPECT_EQ(background, theme.gridBackground);
    EXPECT_GT(pixel(image, 20, 24 + 24 * 4 + 2).lightness(), background.lightness()) << "rows on a beat are lighter";
    const QColor playing = pixel(image, 20, 24 + 24 * 8 + 2);
    EXPECT_GT(playing.green(), playing.red() + 5) << "the playing row, on a beat, is green only";
    const QColor selected = pixel(image, 42 + 166 * 2 + 150, 24 + 24 * 6 + 12);
    EXPECT_GT(selected.blue(), background.blue() + 5) << "the selection is tinted with the accent";
    const auto volume = grid.columnBox(CellField::volume);
    const QColor cursor = pixel(image, static_cast<int>(42 + 166 + volume.offset + volume.width / 2), 24 + 24 * 5 + 12);
    EXPECT_GT(cursor.blue(), selected.blue() + 20) << "the cursor box is stronger than the selection";
    // Track 9 takes the first track's colour: its header band is tinted cyan.
    const QColor header9 = pixel(image, 42 + 166 * 8 + 160, 3);
    const QColor header1 = pixel(image, 42 + 160, 3);
    EXPECT_EQ(header9, header1);
    EXPECT_NE(pixel(image, 42 + 166 * 1 + 160, 3), header1);
}

TEST_F(PatternGrid, FollowsThePlayingRowOnlyWhenItMoves)
{
    PatternGridView grid;
    grid.resize(600, 300);
    grid.show(GridContent{.pattern = Pattern("P", 256, 4), .selectedRow = 0});
    PlaybackUIState playback;
    grid.setPlaybackState(&playback);
    grid.followPlayback();
    EXPECT_FALSE(grid.playRow());

    playback.row = 100;
    grid.followPlayback();
    EXPECT_EQ(grid.playRow(), 100);
    const double h = grid.rowHeight();
    const QRectF visible = grid.visibleContentRect();
    EXPECT_LE(visible.top() + h, h + h * 100);
    EXPECT_GE(visible.bottom(), h + h * 101) << "the playing row is scrolled into view";

    // While playing, a cursor move keeps the playing row in view, not the cursor.
    const int scrolled = grid.verticalScrollBar()->value();
    grid.show(GridContent{.pattern = Pattern("P", 256, 4), .selectedRow = 0});
    EXPECT_EQ(grid.verticalScrollBar()->value(), scrolled);

    // After stop the cursor row comes back; near the top the position never goes below zero.
    playback.row.reset();
    grid.followPlayback();
    EXPECT_FALSE(grid.playRow());
    EXPECT_EQ(grid.verticalScrollBar()->value(), 0);
}

TEST_F(PatternGrid, TellsTheCursorToAScreenReader)
{
    PatternGridView grid;
    Pattern pattern("P", 8, 4);
    pattern.setCell(2, 0, Cell{.note = NoteOff{}});
    grid.show(GridContent{.pattern = pattern, .selectedRow = 0, .selectedTrack = 3, .selectedField = CellField::volume});
    EXPECT_EQ(grid.accessibilityValue(), "Row 0, track 4, VOL, empty");
    grid.show(GridContent{.pattern = pattern, .selectedRow = 2, .selectedTrack = 0});
    EXPECT_EQ(grid.accessibilityValue(), "Row 2, track 1, NOTE, off");
    EXPECT_EQ(grid.accessibleName(), "Pattern editor");
}

TEST_F(PatternGrid, ClicksAndKeysGoToTheModel)
{
    ModelHarness harness;
    AppModel& model = harness.make();
    TrackerPatternGrid grid(model);
    grid.resize(900, 500);
    grid.QWidget::show();
    settle();
    const double h = grid.rowHeight();
    auto at = [&](int row, int track, double column) {
        return QPoint(static_cast<int>(42 + 166 * track + column), static_cast<int>(h + h * row + h / 2));
    };

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at(3, 1, 70));
    EXPECT_EQ(model.selectedRow(), 3);
    EXPECT_EQ(model.selectedTrack(), 1);
    EXPECT_EQ(model.selectedField(), CellField::volume);
    EXPECT_FALSE(model.selection());

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ShiftModifier, at(5, 2, 10));
    ASSERT_TRUE(model.selection());
    EXPECT_EQ(*model.selection(), (CellRange{3, 1, 5, 2}));

    // The gutter and the header select nothing.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(20, static_cast<int>(h * 4)));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(100, 5));
    EXPECT_EQ(model.selectedRow(), 5);
    EXPECT_TRUE(model.selection());

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at(0, 0, 5));
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Down);
    QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(model.selectedRow(), 2);
    ASSERT_TRUE(model.selection());
    EXPECT_EQ(*model.selection(), (CellRange{1, 0, 2, 0}));
    QTest::keyClick(&grid, Qt::Key_Tab);
    EXPECT_EQ(model.selectedField(), CellField::instrument);
    EXPECT_TRUE(grid.hasFocus()) << "Tab moves between columns, not away from the grid";
    QTest::keyClick(&grid, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(model.selectedField(), CellField::note);

    // A note typed into the note column lands in the pattern as one undo step.
    const auto undoSteps = model.undoStack().size();
    model.select(8, 0, CellField::note, false);
    QTest::keyClick(&grid, Qt::Key_Q);
    EXPECT_TRUE(model.project().patterns[0].cell(8, 0).note.has_value());
    EXPECT_EQ(model.undoStack().size(), undoSteps + 1);
    EXPECT_EQ(grid.content().pattern, model.project().patterns[0]) << "the grid shows the edit";
}

TEST(GridKeys, KeyEventsBecomeTheModelsKeyPresses)
{
    const struct {
        QKeyEvent event;
        KeyPress press;
    } cases[] = {
        {QKeyEvent(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03")), {Key::other, "c", false, true}},
        {QKeyEvent(QEvent::KeyPress, Qt::Key_Q, Qt::ShiftModifier, QStringLiteral("Q")), {Key::other, "q", true, false}},
        {QKeyEvent(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7")), {Key::other, "7", false, false}},
        {QKeyEvent(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier), {Key::tab, "", true, false}},
        {QKeyEvent(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier), {Key::forwardDelete, "", false, false}},
        {QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::ShiftModifier), {Key::up, "", true, false}},
        {QKeyEvent(QEvent::KeyPress, Qt::Key_QuoteLeft, Qt::NoModifier, QStringLiteral("`")), {Key::other, "`", false, false}},
    };
    for (const auto& [event, press] : cases) EXPECT_EQ(PatternGridView::keyPress(event), press) << event.key();
}
