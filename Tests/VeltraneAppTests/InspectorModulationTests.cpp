// The Modulation tab: sources, their kind's controls and their routes.

#include "InspectorTestSupport.hpp"

#include "Veltrane/Views/Inspector/ModulationPanel.hpp"
#include "Veltrane/Views/Inspector/ModulationSourceCard.hpp"

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

using namespace veltrane;
using namespace veltrane::inspector;
using namespace veltrane::testing;

namespace {

struct ModulationInspector : InspectorHarness {
    ModulationInspector()
        : InspectorHarness(InspectorTab::modulation)
    {
        Project project = model().project();
        project.modulation.reset();
        model().setProject(std::move(project));
    }
    ModulationPanel& panel() { return InspectorHarness::panel<ModulationPanel>(InspectorTab::modulation); }
    const ModulationRack& rack() { return *model().project().modulation; }
};

void addRoute(ModulationSourceCard& card, ParameterTarget target)
{
    card.addDestinationButton()->menu()->actions().at(indexOf(target))->trigger();
}

QStringList titles(const ModulationSourceCard& card)
{
    QStringList result;
    for (auto* slider : card.sliders()) result << slider->title();
    return result;
}

} // namespace

TEST(InspectorModulation, AnEmptyRackShowsTheEmptyStateUntilASourceIsAdded)
{
    ModulationInspector inspector;
    EXPECT_FALSE(inspector.panel().emptyState()->isHidden());
    EXPECT_TRUE(inspector.panel().cards().empty());

    inspector.panel().addButton(ModulationSourceKind::envelope)->click();
    ASSERT_EQ(inspector.rack().sources.size(), 1u);
    EXPECT_EQ(inspector.rack().sources[0].kind, ModulationSourceKind::envelope);
    EXPECT_TRUE(inspector.panel().emptyState()->isHidden());
    ASSERT_EQ(inspector.panel().cards().size(), 1u);
    auto& card = *inspector.panel().cards()[0];
    EXPECT_EQ(titles(card), (QStringList{"Attack", "Decay", "Sustain", "Release"}));
    EXPECT_EQ(card.wavePicker(), nullptr);
    EXPECT_TRUE(card.routeRows().empty());

    inspector.model().undo();
    EXPECT_TRUE(inspector.panel().cards().empty());
    EXPECT_FALSE(inspector.panel().emptyState()->isHidden());
}

TEST(InspectorModulation, EachKindShowsItsOwnControls)
{
    ModulationInspector inspector;
    inspector.panel().addButton(ModulationSourceKind::lfo)->click();
    inspector.panel().addButton(ModulationSourceKind::macro)->click();
    ASSERT_EQ(inspector.panel().cards().size(), 2u);
    auto& lfo = *inspector.panel().cards()[0];
    auto& macro = *inspector.panel().cards()[1];
    EXPECT_EQ(titles(lfo), (QStringList{QStringLiteral("Rate \u00B7 beats"), "Phase"}));
    ASSERT_NE(lfo.wavePicker(), nullptr);
    EXPECT_EQ(lfo.wavePicker()->count(), 5);
    EXPECT_EQ(lfo.wavePicker()->itemText(4), "Random");
    EXPECT_EQ(titles(macro), QStringList{"Macro"});

    choose(lfo.wavePicker(), "Square");
    EXPECT_EQ(inspector.rack().sources[0].waveform, ModulationWaveform::square);
    report(lfo.sliders()[0], 2.5);
    EXPECT_EQ(inspector.rack().sources[0].rateBeats, 2.5);
    EXPECT_EQ(lfo.sliders()[0]->valueText(), "2.50");
    EXPECT_EQ(inspector.panel().cards()[0], &lfo) << "an edit made the card again";

    lfo.nameField()->setFocus();
    lfo.nameField()->selectAll();
    QTest::keyClicks(lfo.nameField(), "Wob");
    EXPECT_EQ(inspector.rack().sources[0].name, "Wob");
    EXPECT_EQ(lfo.nameField()->text(), "Wob");

    inspector.model().undo();
    EXPECT_EQ(lfo.nameField()->text(), "Wo");
}

TEST(InspectorModulation, RoutesShowTheirScopeAndFollowTheirDestination)
{
    ModulationInspector inspector;
    inspector.panel().addButton(ModulationSourceKind::lfo)->click();
    inspector.model().select(0, 2, std::nullopt, false);
    inspector.model().setSelectedInstrument(0);
    addRoute(*inspector.panel().cards()[0], ParameterTarget::trackCutoff);
    auto* card = inspector.panel().cards()[0];
    ASSERT_EQ(card->routeRows().size(), 1u);
    const auto* row = &card->routeRows()[0];
    EXPECT_EQ(row->scope->text(), QStringLiteral("Track 3 \u00B7 Continuous"));

    row->destination->setCurrentIndex(indexOf(ParameterTarget::masterReverb));
    emit row->destination->activated(indexOf(ParameterTarget::masterReverb));
    EXPECT_EQ(row->scope->text(), QStringLiteral("Global \u00B7 Continuous"));
    row->destination->setCurrentIndex(indexOf(ParameterTarget::instrumentAttack));
    emit row->destination->activated(indexOf(ParameterTarget::instrumentAttack));
    EXPECT_EQ(row->scope->text(), QStringLiteral("Instrument 1 \u00B7 Note start")) << "the caption writes start in lower case, unlike the menu";

    // The amount slider reaches both ends.
    row->amount->setFocus();
    QTest::keyClick(row->amount, Qt::Key_End);
    EXPECT_EQ(inspector.rack().routes[0].amount, 1.0);
    QTest::keyClick(row->amount, Qt::Key_Home);
    EXPECT_EQ(inspector.rack().routes[0].amount, -1.0);

    row->remove->click();
    EXPECT_TRUE(inspector.rack().routes.empty());
    EXPECT_TRUE(inspector.panel().cards()[0]->routeRows().empty());
}

TEST(InspectorModulation, RemovingASourceTakesItsRoutesOnly)
{
    ModulationInspector inspector;
    inspector.panel().addButton(ModulationSourceKind::lfo)->click();
    inspector.panel().addButton(ModulationSourceKind::macro)->click();
    addRoute(*inspector.panel().cards()[0], ParameterTarget::masterDrive);
    addRoute(*inspector.panel().cards()[1], ParameterTarget::masterReverb);
    ASSERT_EQ(inspector.rack().routes.size(), 2u);

    inspector.panel().cards()[0]->removeButton()->click();
    ASSERT_EQ(inspector.panel().cards().size(), 1u);
    ASSERT_EQ(inspector.rack().routes.size(), 1u);
    EXPECT_EQ(inspector.rack().routes[0].target, ParameterTarget::masterReverb);
    EXPECT_EQ(inspector.panel().cards()[0]->routeRows().size(), 1u);
}

TEST(InspectorModulation, KindSlidersShowTheirRangesAndUndoMovesThem)
{
    ModulationInspector inspector;
    for (const auto kind : {ModulationSourceKind::lfo, ModulationSourceKind::envelope, ModulationSourceKind::macro})
        inspector.panel().addButton(kind)->click();
    struct Case {
        std::size_t card;
        const char* title;
        double lower;
        double upper;
        const char* shown;
    };
    const Case cases[] = {
        {0, "Rate \u00B7 beats", 0.0625, 16, "1.00"}, {0, "Phase", 0, 1, "0.00"},   {1, "Attack", 0, 5, "0.01"},
        {1, "Decay", 0, 5, "0.20"},                   {1, "Sustain", 0, 1, "0.70"}, {1, "Release", 0.001, 8, "0.30"},
        {2, "Macro", 0, 1, "0.50"},
    };
    for (const auto& [card, title, lower, upper, shown] : cases) {
        ValueSlider* slider = nullptr;
        for (auto* candidate : inspector.panel().cards().at(card)->sliders())
            if (candidate->title() == QString::fromUtf8(title)) slider = candidate;
        ASSERT_NE(slider, nullptr) << title;
        EXPECT_EQ(slider->slider()->range().lower, lower) << title;
        EXPECT_EQ(slider->slider()->range().upper, upper) << title;
        EXPECT_EQ(slider->valueText(), shown) << title;
    }

    auto* release = inspector.panel().cards()[1]->sliders()[3];
    report(release, 7.5);
    EXPECT_EQ(inspector.rack().sources[1].release, 7.5);
    EXPECT_EQ(inspector.rack().sources[1].rateBeats, 1.0) << "an envelope's LFO fields stay as they are";
    inspector.model().undo();
    EXPECT_EQ(inspector.panel().cards()[1]->sliders()[3]->valueText(), "0.30");
}

// The card's rounded corners have a radius of 10: a pixel two in from the corner on the diagonal lies
// outside such a curve (it would be inside one of radius 8), a pixel five in lies inside it.
TEST(InspectorModulation, ACardIsARoundedRectangleOfRadiusTenWithAMarginOfTen)
{
    ModulationInspector inspector;
    inspector.panel().addButton(ModulationSourceKind::macro)->click();
    auto& card = *inspector.panel().cards().at(0);
    // The panel lays the card out; let it settle before taking the card's size.
    QCoreApplication::sendPostedEvents();
    card.ensurePolished();
    QImage picture(card.size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    card.render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
    ASSERT_EQ(picture.size(), card.size());
    const int right = picture.width() - 1;
    const int bottom = picture.height() - 1;
    for (const auto& [x, y] : {std::pair{2, 2}, {right - 2, 2}, {2, bottom - 2}, {right - 2, bottom - 2}})
        EXPECT_EQ(qAlpha(picture.pixel(x, y)), 0) << x << "," << y;
    for (const auto& [x, y] : {std::pair{5, 5}, {right - 5, 5}, {5, bottom - 5}, {right - 5, bottom - 5}})
        EXPECT_GT(qAlpha(picture.pixel(x, y)), 0) << x << "," << y;
    EXPECT_EQ(card.layout()->contentsMargins(), QMargins(10, 10, 10, 10));
}
