// The model's sample instrument commands: the sample editor's settings and their ranges, slices and
// chopping, the browser's list, relinking, tags and favourites, importing audio files and recording
// the input. Audio files are written by the test with libsndfile.

#include "ModelTestSupport.hpp"

#include "VeltraneCore/FileFormat/ProjectFile.hpp"

#include <sndfile.h>

#include <gtest/gtest.h>

namespace veltrane {
namespace {

using namespace testing;

/// A model whose selected instrument is a sample instrument (appended to the new project's four synths).
AppModel& sampleModel(ModelHarness& harness)
{
    auto& model = harness.make();
    Project project = model.project();
    project.instruments.push_back(Instrument::withData("Kick", Data(std::vector<std::uint8_t>{1, 2, 3}), "kick.wav"));
    model.setProject(project);
    model.setSelectedInstrument(static_cast<int>(project.instruments.size()) - 1);
    return model;
}

const SampleEdit& selectedEdit(AppModel& model)
{
    return *model.project().instruments[static_cast<std::size_t>(model.selectedInstrument())].sampleEdit;
}

std::filesystem::path writeWAV(const std::filesystem::path& path)
{
    writeWithLibsndfile(path, testSignal(2000), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    return path;
}

TEST(AppModelSamples, EditsAreBroughtIntoRangeAfterEveryChange)
{
    struct Case {
        const char* what;
        SampleEdit before;
        std::function<void(SampleEdit&)> change;
        std::function<void(SampleEdit&)> expected; // applied to `before`
    };
    const Case cases[] = {
        {"trim end before the start", SampleEdit{.trimStart = 0.3}, [](SampleEdit& e) { e.trimEnd = 0.2; },
         [](SampleEdit& e) { e.trimEnd = 0.301; }},
        {"trim start at the end", SampleEdit{}, [](SampleEdit& e) { e.trimStart = 1.0; },
         [](SampleEdit& e) { e.trimStart = 1.0; e.trimEnd = 1.0; }},
        {"loop end at 0 without a start", SampleEdit{}, [](SampleEdit& e) { e.loopEnd = 0.0; },
         [](SampleEdit& e) { e.loopEnd = 0.001; }},
        {"loop start past the end", SampleEdit{.loopEnd = 0.5}, [](SampleEdit& e) { e.loopStart = 1.2; },
         [](SampleEdit& e) { e.loopStart = 0.999; e.loopEnd = 1.0; }},
        {"a stored crossfade out of range", SampleEdit{.loopCrossfade = 0.4}, [](SampleEdit& e) { e.reversed = true; },
         [](SampleEdit& e) { e.reversed = true; e.loopCrossfade = 0.25; }},
    };
    for (const auto& c : cases) {
        ModelHarness harness;
        auto& model = sampleModel(harness);
        Project project = model.project();
        project.instruments.back().sampleEdit = c.before;
        model.setProject(project);
        model.updateSampleEdit(c.change);
        SampleEdit expected = c.before;
        c.expected(expected);
        const SampleEdit& stored = selectedEdit(model);
        EXPECT_NEAR(stored.trimEnd, expected.trimEnd, 1e-12) << c.what;
        EXPECT_EQ(stored.trimStart, expected.trimStart) << c.what;
        EXPECT_EQ(stored.loopStart, expected.loopStart) << c.what;
        EXPECT_EQ(stored.loopEnd.has_value(), expected.loopEnd.has_value()) << c.what;
        if (stored.loopEnd) {
            EXPECT_NEAR(*stored.loopEnd, *expected.loopEnd, 1e-12) << c.what;
        }
        EXPECT_EQ(stored.loopCrossfade, expected.loopCrossfade) << c.what;
        EXPECT_EQ(stored.reversed, expected.reversed) << c.what;
        EXPECT_EQ(model.undoStack().size(), 1u) << c.what;
    }
}

TEST(AppModelSamples, ASynthThatIsEditedBecomesASampleInstrumentAndABadIndexChangesNothing)
{
    ModelHarness harness;
    auto& model = harness.make();
    EXPECT_TRUE(model.sampleInstrumentIndices().empty());
    model.setSelectedInstrument(2);
    model.updateSampleEdit([](SampleEdit& e) { e.reversed = true; });
    EXPECT_EQ(model.sampleInstrumentIndices(), std::vector<int>{2});
    EXPECT_EQ(selectedEdit(model), SampleEdit{.reversed = true});

    const auto steps = model.undoStack().size();
    model.setSelectedInstrument(99);
    model.updateSampleEdit([](SampleEdit& e) { e.loop = true; });
    model.clearSampleSlices();
    model.detectSampleSlices(0.5);
    model.toggleSampleSlice(0.5);
    model.chopSampleToPattern();
    EXPECT_EQ(model.undoStack().size(), steps);
    EXPECT_TRUE(model.samplePeaks().empty());
    EXPECT_TRUE(model.samplePeaks(-1).empty());
}

TEST(AppModelSamples, SlicesAreToggledNearAPointOrAddedAndSnappedUnlessSnappingIsOff)
{
    struct Case {
        std::optional<std::vector<double>> before;
        double at;
        std::vector<double> after;
    };
    const Case cases[] = {
        {std::nullopt, 0.0, {0.005}},
        {std::nullopt, 1.0, {0.995}},
        {std::vector<double>{0.3, 0.5}, 0.31, {0.5}},
        {std::vector<double>{0.3, 0.5}, 0.4, {0.3, 0.4, 0.5}},
        {std::vector<double>{0.25, 0.28125}, 0.265625, {0.28125}}, // equally near: the earlier goes
    };
    for (const auto& c : cases) {
        ModelHarness harness;
        auto& model = sampleModel(harness);
        model.updateSampleEdit([&](SampleEdit& e) {
            e.snapToZeroCrossings = false;
            e.slicePoints = c.before;
        });
        model.toggleSampleSlice(c.at);
        EXPECT_EQ(selectedEdit(model).slicePoints, c.after) << "at " << c.at;
    }
    // Snapping (absent counts as on) moves the position first: the test engine snaps up to 1/64.
    ModelHarness harness;
    auto& model = sampleModel(harness);
    model.toggleSampleSlice(0.3);
    EXPECT_EQ(selectedEdit(model).slicePoints, std::vector<double>{20.0 / 64});
}

TEST(AppModelSamples, DetectedSlicesReplaceTheOldOnesSnappedUnlessSnappingIsOff)
{
    ModelHarness harness;
    auto& model = sampleModel(harness);
    harness.engine->detectedSlices = {0.2, 0.7};
    model.detectSampleSlices(0.6);
    EXPECT_EQ(harness.engine->sliceSensitivities, std::vector<double>{0.6});
    EXPECT_EQ(selectedEdit(model).slicePoints, (std::vector<double>{13.0 / 64, 45.0 / 64}));
    model.updateSampleEdit([](SampleEdit& e) { e.snapToZeroCrossings = false; });
    model.detectSampleSlices(0.6);
    EXPECT_EQ(selectedEdit(model).slicePoints, (std::vector<double>{0.2, 0.7}));
    harness.engine->detectedSlices.clear();
    model.detectSampleSlices(0.6);
    EXPECT_EQ(selectedEdit(model).slicePoints, std::vector<double>{});
}

TEST(AppModelSamples, ChoppingWritesOneNotePerRegionDownTheCursorTrack)
{
    struct Case {
        int slices, patternRows, row;
        int written; // notes from 60 up, on rows from `row`
    };
    const Case cases[] = {{3, 64, 10, 4}, {3, 64, 62, 2}, {100, 128, 0, 68}};
    for (const auto& c : cases) {
        ModelHarness harness;
        auto& model = sampleModel(harness);
        Project project = model.project();
        project.patterns[0] = Pattern("Long", c.patternRows, 8);
        project.patterns[0].setCell(c.row, 2, Cell{.volume = 33, .gate = 2.0});
        std::vector<double> slices(static_cast<std::size_t>(c.slices));
        for (int i = 0; i < c.slices; ++i) slices[static_cast<std::size_t>(i)] = (i + 1.0) / (c.slices + 1.0);
        project.instruments.back().sampleEdit->slicePoints = slices;
        model.setProject(project);
        model.setSelectedTrack(2);
        model.setSelectedRow(c.row);
        model.chopSampleToPattern();
        const Pattern& pattern = model.project().patterns[0];
        int notes = 0;
        for (int row = 0; row < c.patternRows; ++row) {
            const Cell& cell = pattern.cell(row, 2);
            if (!cell.note) continue;
            ++notes;
            EXPECT_EQ(cell.note, StepNote{NotePitch{60 + row - c.row}});
            EXPECT_EQ(cell.instrument, model.selectedInstrument());
        }
        EXPECT_EQ(notes, c.written);
        EXPECT_EQ(pattern.cell(c.row, 2).volume, 33) << "volume and gate stay";
        EXPECT_EQ(pattern.cell(c.row, 2).gate, 2.0);
        EXPECT_EQ(model.selectedRow(), c.row);
    }
}

TEST(AppModelSamples, ChoppingWithoutSlicesOrWithTheCursorPastThePatternWritesNothing)
{
    ModelHarness harness;
    auto& model = sampleModel(harness);
    model.clearSampleSlices();
    const auto steps = model.undoStack().size();
    model.chopSampleToPattern();
    EXPECT_EQ(model.undoStack().size(), steps) << "an empty slice list records no step";

    model.updateSampleEdit([](SampleEdit& e) { e.slicePoints = std::vector<double>{0.5}; });
    Project shorter = model.project();
    shorter.patterns[0] = Pattern("Short", 4, 8);
    model.setProject(shorter);
    model.setSelectedRow(10); // left behind by the pattern that was longer
    model.chopSampleToPattern();
    EXPECT_EQ(model.project().patterns[0], shorter.patterns[0]);
}

// Views ask for overviews on every change of the project; the sample's frames are read again only when
// its audio or its edit changed.
TEST(AppModelSamples, AnOverviewIsMadeOncePerSampleAndEdit)
{
    ModelHarness harness;
    auto& model = sampleModel(harness);
    const auto requests = [&] { return harness.engine->peakRequests.size(); };
    model.samplePeaks(4);
    model.samplePeaks(4);
    model.setSelectedTrack(2); // any change of the model that leaves the sample alone
    EXPECT_EQ(model.samplePeaks(4).size(), 192u);
    EXPECT_EQ(requests(), 1u);
    model.samplePeaks();
    EXPECT_EQ(requests(), 2u) << "the editor's overview has buckets of its own";

    model.updateSampleEdit([](SampleEdit& e) { e.reversed = true; });
    model.samplePeaks(4);
    EXPECT_EQ(requests(), 3u) << "a new edit is a new overview";
    model.undo();
    model.samplePeaks(4);
    model.samplePeaks(4);
    EXPECT_EQ(requests(), 4u);

    Project project = model.project();
    std::get<EmbeddedSource>(project.instruments[4].source).data = Data(std::vector<std::uint8_t>{9, 9});
    model.setProject(project);
    model.samplePeaks(4);
    EXPECT_EQ(requests(), 5u) << "new audio is a new overview";
}

TEST(AppModelSamples, TheBrowserListsPeaksAndAuditionsAnInstrument)
{
    ModelHarness harness;
    auto& model = sampleModel(harness);
    EXPECT_EQ(model.sampleInstrumentIndices(), std::vector<int>{4});
    EXPECT_EQ(model.samplePeaks().size(), 360u);
    EXPECT_EQ(model.samplePeaks(4).size(), 192u);
    EXPECT_EQ(harness.engine->peakRequests.back(), (std::pair<std::string, int>{"Kick", 96}));

    model.setSelectedInstrument(0);
    model.setSelectedTrack(3);
    const auto steps = model.undoStack().size();
    model.auditionInstrument(2);
    EXPECT_EQ(model.selectedInstrument(), 2);
    ASSERT_EQ(harness.engine->triggers.size(), 1u);
    EXPECT_EQ(harness.engine->triggers[0].cell, (Cell{.note = NotePitch{60}, .instrument = 2}));
    EXPECT_EQ(harness.engine->triggers[0].track, 3);
    EXPECT_EQ(harness.engine->triggers[0].duration, 0.6);
    EXPECT_EQ(model.undoStack().size(), steps);
}

TEST(AppModelSamples, TagsAreTrimmedAndFavouritesStored)
{
    ModelHarness harness;
    auto& model = sampleModel(harness);
    model.setSampleTags(4, " drums ,, kick,\n loop , ");
    EXPECT_EQ(model.project().instruments[4].tags, (std::vector<std::string>{"drums", "kick", "loop"}));
    model.setSampleTags(4, "");
    EXPECT_EQ(model.project().instruments[4].tags, std::vector<std::string>{});
    model.setSampleFavorite(4, true);
    EXPECT_EQ(model.project().instruments[4].favorite, true);
    model.setSampleFavorite(4, false);
    EXPECT_EQ(model.project().instruments[4].favorite, false);
}

TEST(AppModelSamples, ImportTakesAudioFilesAsOneStepAndRefusesAnythingElse)
{
    ModelHarness harness;
    auto& model = harness.make();
    const auto kick = writeWAV(harness.folder / "kick.wav");
    const auto snare = harness.folder / "snare.aif";
    writeWithLibsndfile(snare, testSignal(500), SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const auto count = model.project().instruments.size();
    EXPECT_TRUE(model.importSamples({kick, snare}));
    ASSERT_EQ(model.project().instruments.size(), count + 2);
    const Instrument& first = model.project().instruments[count];
    EXPECT_EQ(first.name, "kick");
    EXPECT_EQ(std::get<EmbeddedSource>(first.source).filename, "kick.wav");
    EXPECT_EQ(std::get<EmbeddedSource>(first.source).data.bytes().size(), fileBytes(kick).size());
    EXPECT_EQ(first.sampleEdit, SampleEdit{});
    EXPECT_EQ(model.project().instruments[count + 1].name, "snare");
    EXPECT_EQ(model.selectedInstrument(), static_cast<int>(count));
    model.undo();
    EXPECT_EQ(model.project().instruments.size(), count);

    // A file that is not audio refuses the whole import, with the reason.
    writeFile(harness.folder / "notes.txt", "not a sound");
    EXPECT_FALSE(model.importSamples({kick, harness.folder / "notes.txt"}));
    EXPECT_EQ(model.project().instruments.size(), count);
    ASSERT_TRUE(model.error());
    EXPECT_EQ(model.error()->rfind("Veltrane couldn\u2019t use notes.txt: ", 0), 0u) << *model.error();
    model.setError(std::nullopt);
    EXPECT_FALSE(model.importSamples({harness.folder / "gone.wav"}));
    EXPECT_TRUE(model.error());
    EXPECT_FALSE(model.importSamples({}));

    // The open panel imports what it is given; cancelled, nothing.
    model.importSample();
    harness.audioPanelAnswers.push_back(kick);
    model.importSample();
    EXPECT_EQ(model.project().instruments.size(), count + 1);
}

TEST(AppModelSamples, AMissingSampleIsRelinkedAndMissingAgainAfterUndo)
{
    ModelHarness harness;
    auto& model = harness.make();
    const auto gone = harness.folder / "gone.wav";
    writeWAV(gone);
    Project project = model.project();
    project.instruments.push_back(
        Instrument::withBookmark("Gone", Data(std::vector<std::uint8_t>{}), "gone.wav"));
    const auto path = harness.folder / "Missing.veltrane";
    writeFile(path, encodeProject(project));
    ASSERT_TRUE(model.loadProject(path));
    const int index = static_cast<int>(model.project().instruments.size()) - 1;
    ASSERT_TRUE(model.isSampleMissing(index));
    model.setError(std::nullopt);
    EXPECT_FALSE(model.relinkSample(0, gone)) << "instrument 0 is not missing";

    writeFile(harness.folder / "noise.txt", "not audio");
    EXPECT_FALSE(model.relinkSample(index, harness.folder / "noise.txt"));
    EXPECT_EQ(model.error()->rfind("Veltrane couldn\u2019t use noise.txt: ", 0), 0u);
    EXPECT_TRUE(model.isSampleMissing(index));

    harness.audioPanelAnswers.push_back(gone);
    model.relinkSample(index);
    EXPECT_EQ(harness.audioPanelMessages.back(), "Locate gone.wav");
    EXPECT_FALSE(model.isSampleMissing(index));
    EXPECT_EQ(std::get<EmbeddedSource>(model.project().instruments[static_cast<std::size_t>(index)].source).filename, "gone.wav");

    model.undo();
    EXPECT_TRUE(model.isSampleMissing(index)) << "the bookmark is back, and it still finds nothing";
    EXPECT_TRUE(model.relinkSample(index, gone));
}

TEST(AppModelSamples, ARecordingOfTheInputBecomesANewInstrument)
{
    ModelHarness harness;
    auto& model = harness.make();
    harness.recorder->startFailure = "No audio input is available.";
    model.toggleSampleRecording();
    EXPECT_FALSE(model.isSampleRecording());
    EXPECT_EQ(model.error(), "No audio input is available.");

    harness.recorder->startFailure.reset();
    model.toggleSampleRecording();
    EXPECT_TRUE(model.isSampleRecording());
    harness.recorder->take = writeWAV(harness.folder / "Recording-1.caf");
    const auto count = model.project().instruments.size();
    model.toggleSampleRecording();
    EXPECT_FALSE(model.isSampleRecording());
    ASSERT_EQ(model.project().instruments.size(), count + 1);
    EXPECT_EQ(model.project().instruments.back().name, "Recording");
    EXPECT_EQ(std::get<EmbeddedSource>(model.project().instruments.back().source).filename, "Recording-1.caf");
    EXPECT_EQ(model.selectedInstrument(), static_cast<int>(count));

    // A take without a file adds nothing.
    model.toggleSampleRecording();
    harness.recorder->take.reset();
    model.toggleSampleRecording();
    EXPECT_FALSE(model.isSampleRecording());
    EXPECT_EQ(model.project().instruments.size(), count + 1);
}

} // namespace
} // namespace veltrane
