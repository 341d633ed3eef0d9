// The Samples tab, offscreen: the list's search and order, its empty states, each row's audition, select,
// favourite, tags and missing-file controls, the drop zone and the recording button; and the small
// waveform of a row.

#include "InspectorTestSupport.hpp"

#include "Veltrane/Views/Inspector/SampleBrowserOrder.hpp"
#include "Veltrane/Views/Inspector/SampleBrowserRow.hpp"
#include "Veltrane/Views/Inspector/SampleMiniWaveform.hpp"
#include "Veltrane/Views/Inspector/SamplesPanel.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>

#include <sndfile.h>

#include <gtest/gtest.h>

namespace veltrane {
namespace {

using namespace testing;
using inspector::SampleBrowserRow;

Instrument sample(const std::string& name, std::optional<bool> favorite = std::nullopt,
                  std::optional<std::vector<std::string>> tags = std::nullopt)
{
    Instrument instrument = Instrument::withData(name, Data(std::vector<std::uint8_t>{1, 2, 3}), name + ".wav");
    instrument.favorite = favorite;
    instrument.tags = std::move(tags);
    return instrument;
}

/// The inspector on the Samples tab of a project whose instruments are the four synths and `samples`.
struct SamplesHarness : InspectorHarness {
    explicit SamplesHarness(std::vector<Instrument> samples = {})
        : InspectorHarness(InspectorTab::samples)
    {
        Project project = model().project();
        for (auto& instrument : samples) project.instruments.push_back(std::move(instrument));
        model().setProject(project);
        model().setSelectedInstrument(0);
        QApplication::processEvents();
    }
    SamplesPanel& samples() { return panel<SamplesPanel>(InspectorTab::samples); }
    std::vector<std::string> listedNames()
    {
        std::vector<std::string> names;
        for (auto* row : samples().rows()) names.push_back(row->nameButton()->accessibleName().toStdString());
        return names;
    }
    SampleBrowserRow* row(const std::string& name)
    {
        for (auto* row : samples().rows()) {
            if (row->nameButton()->accessibleName().toStdString() == name) return row;
        }
        ADD_FAILURE() << "no row for " << name;
        return nullptr;
    }
    void search(const QString& text)
    {
        samples().searchField()->setText(text);
        QApplication::processEvents();
    }
};

TEST(InspectorSamples, SearchFindsNamesAndTagsIgnoringCaseAndListsFavouritesFirst)
{
    const std::vector<Instrument> instruments{
        sample("kick"), sample("Zed Loop", true), sample("snare", std::nullopt, std::vector<std::string>{"acoustic", "KICKish"}),
        sample("Amen"), sample("bass", true), Instrument::withWaveform("Kick Synth", Waveform::sine)};
    const std::vector<int> candidates{0, 1, 2, 3, 4};
    const auto names = [&](const QString& search) {
        std::vector<std::string> listed;
        for (const int index : inspector::sampleBrowserOrder(instruments, candidates, search)) listed.push_back(instruments[index].name);
        return listed;
    };
    struct Case {
        QString search;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"", {"bass", "Zed Loop", "Amen", "kick", "snare"}}, // favourites first, each group by name, case folded
        {"KICK", {"kick", "snare"}},                         // the name in lower case, and a tag
        {"acou", {"snare"}},                                 // a tag only
        {"loop", {"Zed Loop"}},
        {" kick", {}},                                       // used as typed, not trimmed
        {"xyz", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(names(c.search), c.expected) << c.search.toStdString();

    SamplesHarness harness(instruments);
    EXPECT_EQ(harness.listedNames(), (std::vector<std::string>{"bass", "Zed Loop", "Amen", "kick", "snare"}))
        << "the synth instrument is not a sample";
    harness.search(QStringLiteral("KICK"));
    EXPECT_EQ(harness.listedNames(), (std::vector<std::string>{"kick", "snare"}));
    EXPECT_FALSE(harness.samples().emptyState()->isVisible());
}

TEST(InspectorSamples, EmptyStatesSayWhetherASearchFoundNothing)
{
    SamplesHarness harness;
    auto& panel = harness.samples();
    EXPECT_TRUE(panel.rows().empty());
    EXPECT_TRUE(panel.emptyState()->isVisible());
    EXPECT_EQ(panel.emptyTitle()->text(), "No Samples");
    EXPECT_EQ(panel.emptyDescription()->text(), "Drop audio files here or import from Finder.");
    EXPECT_GE(panel.emptyState()->height(), 130);
    harness.search(QStringLiteral("x"));
    EXPECT_EQ(panel.emptyTitle()->text(), "No Matches");
    EXPECT_EQ(panel.emptyDescription()->text(), "Try another name or tag.");
    EXPECT_EQ(panel.searchField()->placeholderText(), "Search names or tags");
}

TEST(InspectorSamples, ARowAuditionsSelectsAndMarksItsInstrument)
{
    SamplesHarness harness({sample("Kick"), sample("Snare")});
    AppModel& model = harness.model();
    auto* kick = harness.row("Kick");
    ASSERT_NE(kick, nullptr);
    EXPECT_EQ(kick->auditionButton()->toolTip(), "Audition Kick");
    EXPECT_FALSE(kick->isSelected());
    ASSERT_TRUE(kick->waveform()->isVisible());
    EXPECT_EQ(kick->waveform()->peaks().size(), 192u) << "96 columns of (minimum, maximum)";
    EXPECT_FALSE(kick->missingRow()->isVisible());

    // Audition: the instrument becomes the selected one and its middle C sounds, with no undo step.
    const auto steps = model.undoStack().size();
    QTest::mouseClick(kick->auditionButton(), Qt::LeftButton);
    EXPECT_EQ(model.selectedInstrument(), 4);
    ASSERT_FALSE(harness.harness.engine->triggers.empty());
    EXPECT_EQ(harness.harness.engine->triggers.back().cell.note, std::optional<StepNote>(NotePitch{60}));
    EXPECT_EQ(model.undoStack().size(), steps);
    EXPECT_TRUE(harness.row("Kick")->isSelected());

    // The star: grey "star" until pressed, then a stored favourite in yellow, listed first.
    auto* snare = harness.row("Snare");
    EXPECT_EQ(snare->favoriteButton()->property(symbolProperty).toString(), "star");
    EXPECT_EQ(snare->favoriteButton()->toolTip(), "Favorite");
    QTest::mouseClick(snare->favoriteButton(), Qt::LeftButton);
    EXPECT_EQ(model.project().instruments[5].favorite, std::optional<bool>(true));
    EXPECT_EQ(harness.row("Snare")->favoriteButton()->property(symbolProperty).toString(), "star.fill");
    EXPECT_EQ(harness.listedNames(), (std::vector<std::string>{"Snare", "Kick"}));
    QTest::mouseClick(harness.row("Snare")->favoriteButton(), Qt::LeftButton);
    EXPECT_EQ(model.project().instruments[5].favorite, std::optional<bool>(false));

    // The name selects the instrument and goes on to the Instrument tab.
    QTest::mouseClick(harness.row("Snare")->nameButton(), Qt::LeftButton);
    EXPECT_EQ(model.selectedInstrument(), 5);
    EXPECT_EQ(harness.view->currentTab(), InspectorTab::instrument);
}

TEST(InspectorSamples, TagsAreStoredAsTypedAndTheFieldKeepsWhatWasTyped)
{
    SamplesHarness harness({sample("Loop", std::nullopt, std::vector<std::string>{"drums", "break"})});
    AppModel& model = harness.model();
    auto* row = harness.row("Loop");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->tagsField()->text(), "drums, break");
    EXPECT_EQ(row->tagsField()->placeholderText(), "tags, comma separated");

    const auto before = model.undoStack().size();
    row->tagsField()->selectAll();
    QTest::keyClicks(row->tagsField(), QStringLiteral(" drums ,, kick,"));
    EXPECT_EQ(model.project().instruments[4].tags, (std::optional<std::vector<std::string>>{{"drums", "kick"}}));
    EXPECT_EQ(harness.row("Loop"), row) << "the row stays while it is typed in";
    EXPECT_EQ(row->tagsField()->text(), " drums ,, kick,");

    // Other tags (an undo of the typing, keystroke by keystroke) replace the field's text.
    while (model.undoStack().size() > before) model.undo();
    QApplication::processEvents();
    EXPECT_EQ(row->tagsField()->text(), "drums, break");
}

TEST(InspectorSamples, AMissingSampleOffersLocateAndCannotBeAuditioned)
{
    SamplesHarness harness({sample("Lost")});
    AppModel& model = harness.model();
    model.setMissingSampleInstrumentIDs({model.project().instruments[4].id});
    QApplication::processEvents();
    auto* row = harness.row("Lost");
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->missingRow()->isVisible());
    EXPECT_FALSE(row->waveform()->isVisible());
    EXPECT_FALSE(row->auditionButton()->isEnabled());
    EXPECT_EQ(row->locateButton()->text(), "Locate…");
    QTest::mouseClick(row->locateButton(), Qt::LeftButton);
    ASSERT_EQ(harness.harness.audioPanelMessages.size(), 1u);
    EXPECT_EQ(harness.harness.audioPanelMessages.back(), "Locate Lost.wav");
}

TEST(InspectorSamples, ADropImportsAudioFilesAndRefusesWhatIsNotAudio)
{
    SamplesHarness harness;
    AppModel& model = harness.model();
    auto& panel = harness.samples();
    const auto instruments = model.project().instruments.size();

    // A folder and a web address add nothing; the folder's read failure is reported.
    EXPECT_FALSE(panel.dropFiles({QUrl(QStringLiteral("https://example.com/kick.wav"))}));
    EXPECT_FALSE(model.error());
    EXPECT_FALSE(panel.dropFiles({QUrl::fromLocalFile(QString::fromStdString(harness.harness.folder.path().string()))}));
    EXPECT_TRUE(model.error());
    EXPECT_EQ(model.project().instruments.size(), instruments);

    const auto kick = harness.harness.folder / "kick.wav";
    const auto snare = harness.harness.folder / "snare.aif";
    writeWithLibsndfile(kick, testSignal(500), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    writeWithLibsndfile(snare, testSignal(500), SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const auto steps = model.undoStack().size();
    EXPECT_TRUE(panel.dropFiles({QUrl::fromLocalFile(QString::fromStdString(kick.string())),
                                 QUrl::fromLocalFile(QString::fromStdString(snare.string()))}));
    EXPECT_EQ(model.undoStack().size(), steps + 1);
    EXPECT_EQ(harness.listedNames(), (std::vector<std::string>{"kick", "snare"}));
    EXPECT_TRUE(panel.emptyState()->isHidden());
}

TEST(InspectorSamples, TheRecordButtonStopsARecordingThatThenIsListed)
{
    SamplesHarness harness;
    AppModel& model = harness.model();
    auto* record = harness.samples().recordButton();
    EXPECT_EQ(record->text(), "Record Audio Input");
    EXPECT_EQ(record->property(symbolProperty).toString(), "mic.circle");
    EXPECT_EQ(harness.samples().importButton()->text(), "Import Samples…");

    QTest::mouseClick(record, Qt::LeftButton);
    ASSERT_TRUE(model.isSampleRecording());
    EXPECT_EQ(record->text(), "Stop Input Recording");
    EXPECT_EQ(record->property(symbolProperty).toString(), "stop.circle.fill");
    EXPECT_EQ(record->palette().color(QPalette::ButtonText), Theme::current().red);

    const auto take = harness.harness.folder / "take.caf";
    writeWithLibsndfile(take, testSignal(500), SF_FORMAT_CAF | SF_FORMAT_FLOAT);
    harness.harness.recorder->take = take;
    QTest::mouseClick(record, Qt::LeftButton);
    EXPECT_FALSE(model.isSampleRecording());
    EXPECT_EQ(record->text(), "Record Audio Input");
    EXPECT_EQ(harness.listedNames(), std::vector<std::string>{"Recording"});
    EXPECT_TRUE(harness.row("Recording")->isSelected());
}

/// The columns of `view` drawn at `width` × 30 in which some pixel is bluer than the background.
std::vector<int> paintedColumns(inspector::SampleMiniWaveform& view, int width)
{
    view.resize(width, 30);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    view.render(&image);
    std::vector<int> columns;
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < 30; ++y) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.blue() - pixel.red() > 40) {
                columns.push_back(x);
                break;
            }
        }
    }
    return columns;
}

TEST(InspectorSamples, TheMiniWaveformDrawsABarPerValueAndReadsItsValues)
{
    ensureApplication();
    inspector::SampleMiniWaveform view;
    EXPECT_EQ(view.accessibleName(), "Sample waveform preview");
    EXPECT_TRUE(paintedColumns(view, 100).empty()) << "no values, no bars";

    // 0.5 and -0.5: a bar at the left edge, none at the right, where the negative minimum stands.
    view.setPeaks({0.5f, -0.5f});
    EXPECT_EQ(paintedColumns(view, 100), std::vector<int>{0});
    EXPECT_EQ(view.accessibleDescription(), "2 values, loudest 50 percent");

    // Eleven values over 101 pixels: a bar every ten pixels for the loud ones (every twentieth), none for
    // the silent ones between. A smoothed line one pixel wide at x may touch the pixels x - 1 and x.
    view.setPeaks({1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1});
    const auto columns = paintedColumns(view, 101);
    for (int bar = 0; bar <= 100; bar += 20) {
        EXPECT_TRUE(std::count(columns.begin(), columns.end(), bar) + std::count(columns.begin(), columns.end(), bar - 1) > 0)
            << "a bar at " << bar;
    }
    for (const int column : columns) EXPECT_LE(std::min(column % 20, 20 - column % 20), 1) << "a bar at " << column;
    EXPECT_EQ(view.accessibleDescription(), "11 values, loudest 100 percent");
}

} // namespace
} // namespace veltrane
