#include "ProjectFileTestSupport.hpp"

#include "VeltraneCore/FileFormat/JsonWriter.hpp"
#include "VeltraneCore/FileFormat/ProjectFile.hpp"
#include "VeltraneCore/Models/ProjectLoadLimit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

using namespace veltrane;
using namespace veltrane::testing;
using nlohmann::json;

namespace {

json written(const Project& project) { return json::parse(encodeProject(project)); }

std::optional<ProjectError> encodeError(const Project& project)
{
    try {
        encodeProject(project);
    } catch (const ProjectError& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace

TEST(ProjectFileWriting, WritesAnEmptyCellWithTwoEmptySlotsAndNoLocks)
{
    const auto document = written(smallestProject());
    EXPECT_EQ(document["patterns"][0]["cells"][0][0], json::parse(R"({"fx": [null, null], "locks": []})"));
}

TEST(ProjectFileWriting, LeavesOutWhatIsAbsent)
{
    const auto document = written(instrumentSourcesProject());
    EXPECT_FALSE(document.contains("arrangement"));
    EXPECT_FALSE(document.contains("masterFX"));
    EXPECT_FALSE(document.contains("modulation"));
    EXPECT_FALSE(document.contains("swing"));
    const auto& saw = document["instruments"][0];
    for (const char* member : {"cutoff", "resonance", "fm", "sampleEdit", "favorite", "tags"}) {
        EXPECT_FALSE(saw.contains(member)) << member;
    }
    EXPECT_FALSE(document["instruments"][4]["source"]["audioUnit"].contains("state"));
    EXPECT_EQ(document["instruments"][0]["source"], json::parse(R"({"synth": {"_0": "saw"}})"));

    const auto full = written(fullFeaturedProject());
    EXPECT_FALSE(full["mixer"][0]["audioUnits"][1].contains("state"));
    EXPECT_FALSE(full["mixer"][1].contains("audioUnits"));
    EXPECT_EQ(full["instruments"][1]["tags"], json::array()); // present and empty is not absent
}

TEST(ProjectFileWriting, RefusesNumbersThatAreNotFinite)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const std::vector<std::tuple<const char*, std::function<void(Project&)>, const char*>> cases{
        {"bpm", [=](Project& p) { p.bpm = nan; }, "bpm"},
        {"a lock", [=](Project& p) { p.patterns[0].setCell(1, 2, Cell{.locks = {{ParameterTarget::trackPan, infinity}}}); },
         "patterns[0].cells[1][2].locks[0].value"},
        {"a slice point", [=](Project& p) { p.instruments[1].sampleEdit->slicePoints = std::vector<double>{0.5, -infinity}; },
         "instruments[1].sampleEdit.slicePoints[1]"},
        {"an FM operator", [=](Project& p) { p.instruments[0].fm->modulator.fine = nan; }, "instruments[0].fm.modulator.fine"},
        {"the swing", [=](Project& p) { p.swing = infinity; }, "swing"},
        {"a route", [=](Project& p) { p.modulation->routes[1].amount = nan; }, "modulation.routes[1].amount"},
        {"a source", [=](Project& p) { p.modulation->sources[2].macroValue = nan; }, "modulation.sources[2].macroValue"},
        {"the master", [=](Project& p) { p.masterFX->bitDepth = -infinity; }, "masterFX.bitDepth"},
    };
    for (const auto& [what, edit, path] : cases) {
        SCOPED_TRACE(what);
        auto project = fullFeaturedProject();
        edit(project);
        const auto error = encodeError(project);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->which(), ProjectError::Case::unencodableValue);
        EXPECT_EQ(error->codingPath(), path);
        EXPECT_NE(std::string(error->what()).find(path), std::string::npos) << error->what();
    }
}

TEST(ProjectFileWriting, WritesDoublesInTheirShortestExactForm)
{
    const std::vector<std::pair<double, const char*>> cases{
        {124, "124"},
        {0, "0"},
        {-0.0, "-0.0"}, // "-0" would read back as the integer 0 and lose its sign
        {-48, "-48"},
        {0.1, "0.1"},
        {0.85, "0.85"},
        {1e-7, "1e-07"},
        {1e300, "1e+300"},
        {9007199254740991, "9007199254740991"},
        {5e-324, "5e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        // nlohmann's own output spends a digit more on these.
        {0.049838803418408933, "0.04983880341840893"},
        {203.95924529348719, "203.9592452934872"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(JsonWriter::numberText(value), text);
    }
}

TEST(ProjectFileWriting, EveryDoubleReadsBackToItself)
{
    std::mt19937_64 random(7);
    auto project = smallestProject();
    std::vector<ParameterLock> locks;
    std::vector<double> values;
    while (values.size() < 2000) {
        const std::uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isfinite(value)) values.push_back(value);
        values.push_back(std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 80)));
    }
    Cell cell;
    for (const double value : values) cell.locks.push_back({ParameterTarget::trackPan, value});
    project.patterns[0].setCell(0, 0, cell);

    const auto decoded = readAsWritten(encodeProject(project)).patterns[0].cell(0, 0);
    ASSERT_EQ(decoded.locks.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(std::memcmp(&decoded.locks[i].value, &values[i], sizeof(double)), 0) << values[i];
    }
}

TEST(ProjectFileWriting, WritesTextThatIsNotUTF8AsReplacementCharacters)
{
    auto project = smallestProject();
    project.name = "Bad \xFF byte, cut \xE2\x82";
    project.instruments[0].name = "Good \xE2\x82\xAC and \"quoted\" \\ \t\x01";
    project.patterns[0].name = "\xC0\x80\xED\xA0\x80"; // an overlong zero, a surrogate half
    const auto decoded = decodeProject(encodeProject(project));
    EXPECT_EQ(decoded.name, "Bad \xEF\xBF\xBD byte, cut \xEF\xBF\xBD");
    EXPECT_EQ(decoded.patterns[0].name, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(decoded.instruments[0].name, project.instruments[0].name);
}

TEST(ProjectFileWriting, RoundTripsIdentifiersAndDataOfEveryLength)
{
    auto project = instrumentSourcesProject();
    std::vector<std::uint8_t> everyByte(256);
    for (int i = 0; i < 256; ++i) everyByte[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(255 - i);
    for (std::size_t length = 0; length <= 6; ++length) {
        project.instruments.push_back(Instrument::withData("Blob", Data(everyByte.data(), length), "blob.bin"));
    }
    project.instruments.push_back(Instrument::withData("All", Data(everyByte), "all.bin"));
    project.instruments.push_back(Instrument::withBookmark("Empty bookmark", Data(), "none.wav"));

    const auto bytes = encodeProject(project);
    EXPECT_NE(bytes.find(R"("data": "/w==")"), std::string::npos);   // one byte, padded
    EXPECT_NE(bytes.find(R"("data": "//79")"), std::string::npos);   // three bytes, no padding
    EXPECT_NE(bytes.find(R"("id": "A000000A-0000-4000-8000-00000000000A")"), std::string::npos); // upper case
    EXPECT_EQ(readAsWritten(bytes), project);
}

namespace {

// Projects with random content of every kind, to show that whatever a project holds comes back.
class RandomProjects {
public:
    explicit RandomProjects(std::uint64_t seed) : random_(seed) {}

    Project next()
    {
        Project project;
        project.name = text();
        project.bpm = number();
        project.rowsPerBeat = integer(-3, 20);
        project.patterns.clear();
        for (int p = integer(1, 3); p > 0; --p) {
            Pattern pattern(text(), integer(1, 6), integer(1, 5));
            for (int row = 0; row < pattern.rows; ++row) {
                for (int channel = 0; channel < pattern.channels; ++channel) {
                    if (chance()) pattern.setCell(row, channel, cell());
                }
            }
            project.patterns.push_back(std::move(pattern));
        }
        project.order = {integer(-1, 3), integer(0, 300)};
        project.instruments.clear();
        for (int i = integer(0, 4); i > 0; --i) project.instruments.push_back(instrument());
        project.mixer = std::vector<MixerTrack>(static_cast<std::size_t>(integer(0, 4)));
        for (auto& track : project.mixer) {
            track.volume = number();
            track.muted = chance();
            if (chance()) track.cutoff = number();
            if (chance()) track.audioUnits = std::vector<AudioUnitSlot>{slot(), slot()};
        }
        project.masterVolume = number();
        if (chance()) project.masterFX.reset();
        else if (chance()) project.masterFX->bitDepth.reset();
        if (chance()) project.swing = number();
        else project.swing.reset();
        if (chance()) project.arrangement.reset();
        else project.arrangement->markers.push_back(SongMarker{.name = text(), .block = integer(-5, 5)});
        if (chance()) project.modulation.reset();
        else {
            project.modulation->sources.push_back(ModulationSource{.name = text(), .kind = ModulationSourceKind::envelope,
                                                                   .phase = number(), .release = number()});
            project.modulation->routes.push_back(ModulationRoute{.sourceID = Uuid::random(),
                                                                 .target = ParameterTarget::masterBitDepth,
                                                                 .amount = number(), .track = integer(-2, 40)});
        }
        return project;
    }

private:
    bool chance() { return random_() % 2 == 0; }
    int integer(int low, int high) { return low + static_cast<int>(random_() % static_cast<std::uint64_t>(high - low + 1)); }
    double number()
    {
        const std::uint64_t bits = random_();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return std::isfinite(value) && chance() ? value : static_cast<double>(integer(-1000, 1000)) / 8;
    }
    std::string text()
    {
        std::string result;
        for (int i = integer(0, 12); i > 0; --i) {
            static constexpr std::string_view pieces[] = {"a", "Z", " ", "\"", "\\", "\n", "\x01", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x8E\xB9", "/"};
            result += pieces[random_() % std::size(pieces)];
        }
        return result;
    }
    Data data()
    {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(integer(0, 40)));
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random_());
        return Data(std::move(bytes));
    }
    AudioUnitReference reference()
    {
        return {static_cast<std::uint32_t>(random_()), static_cast<std::uint32_t>(random_()),
                static_cast<std::uint32_t>(random_()), text(), text()};
    }
    AudioUnitSlot slot() { return {.reference = reference(), .state = chance() ? std::optional(data()) : std::nullopt, .bypassed = chance()}; }
    Cell cell()
    {
        Cell cell;
        switch (integer(0, 3)) {
        case 0: cell.note = NotePitch{integer(-200, 300)}; break;
        case 1: cell.note = NoteOff{}; break;
        case 2: cell.note = NoteTie{}; break;
        default: break;
        }
        if (chance()) cell.instrument = integer(-3, 10);
        if (chance()) cell.volume = static_cast<std::uint8_t>(integer(0, 255));
        for (auto& effect : cell.effects) {
            if (chance()) effect = Effect{allEffectTypes[random_() % allEffectTypes.size()], static_cast<std::uint8_t>(random_())};
        }
        if (chance()) cell.gate = number();
        for (int i = integer(0, 3); i > 0; --i) cell.locks.push_back({allParameterTargets[random_() % allParameterTargets.size()], number()});
        return cell;
    }
    Instrument instrument()
    {
        Instrument instrument;
        instrument.name = text();
        switch (integer(0, 3)) {
        case 0: instrument.source = SynthSource{allWaveforms[random_() % allWaveforms.size()]}; break;
        case 1: instrument.source = SampleSource{data(), text()}; break;
        case 2: instrument.source = EmbeddedSource{data(), text()}; break;
        default: instrument.source = AudioUnitSource{reference(), chance() ? std::optional(data()) : std::nullopt};
        }
        instrument.tune = number();
        if (chance()) instrument.resonance = number();
        if (chance()) instrument.fm = FMSettings{.amount = number(), .modulator = {.ratio = number(), .waveform = Waveform::saw}};
        if (chance()) {
            instrument.sampleEdit = SampleEdit{.trimEnd = number(), .reversed = chance()};
            if (chance()) instrument.sampleEdit->slicePoints = std::vector<double>{number(), number()};
            if (chance()) instrument.sampleEdit->loopEnd = number();
            if (chance()) instrument.sampleEdit->snapToZeroCrossings = chance();
        }
        if (chance()) instrument.favorite = chance();
        if (chance()) instrument.tags = std::vector<std::string>{text(), text()};
        return instrument;
    }

    std::mt19937_64 random_;
};

} // namespace

TEST(ProjectFileWriting, RoundTripsWhateverAProjectHolds)
{
    RandomProjects projects(2024);
    for (int i = 0; i < 200; ++i) {
        const auto project = projects.next();
        const auto bytes = encodeProject(project);
        ASSERT_EQ(readAsWritten(bytes), project) << bytes;
    }
}

TEST(ProjectFileWriting, WritesTheVersionTheProjectHolds)
{
    auto project = smallestProject();
    project.version = 3;
    EXPECT_EQ(written(project)["version"], 3);
}

TEST(ProjectLoadLimit, CountsEmbeddedSamplesAndSavedStatesButNotBookmarks)
{
    auto project = fullFeaturedProject(); // 4 sample bytes and a 3-byte slot state
    EXPECT_EQ(storedDataBytes(project), 7u);
    project.instruments.push_back(Instrument::withBookmark("Linked", Data(std::string(100, 'x')), "a.wav"));
    project.instruments.push_back(Instrument::withAudioUnit("Unit", {}, Data(std::string(10, 's'))));
    project.masterFX->audioUnits->push_back(AudioUnitSlot{.state = Data(std::string(20, 'm'))});
    EXPECT_EQ(storedDataBytes(project), 37u);

    // The limit itself fits; one byte more does not.
    EXPECT_TRUE(fitsLoadLimit(project, maxStoredDataBytes - 37));
    EXPECT_FALSE(fitsLoadLimit(project, maxStoredDataBytes - 36));
    EXPECT_FALSE(fitsLoadLimit(project, std::numeric_limits<std::uint64_t>::max()));
}

TEST(ProjectLoadLimit, EncodingRefusesAProjectThatCouldNotBeOpened)
{
    // Nine instruments share one 64 MiB sample: 576 MiB in the file.
    const Data sample(std::vector<std::uint8_t>(64u << 20, 0x55));
    auto project = smallestProject();
    for (int i = 0; i < 8; ++i) project.instruments.push_back(Instrument::withData("Copy", sample, "big.wav"));
    EXPECT_TRUE(fitsLoadLimit(project));
    EXPECT_FALSE(fitsLoadLimit(project, 64u << 20));
    project.instruments.push_back(Instrument::withData("One too many", sample, "big.wav"));
    ASSERT_FALSE(fitsLoadLimit(project));

    const auto error = encodeError(project);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->which(), ProjectError::Case::tooLarge);
    EXPECT_STREQ(error->what(), "This project cannot be saved because its embedded samples and saved Audio Unit states "
                                "take 603,979,776 bytes, more than the 536,870,912 bytes (512 MiB) a project can hold "
                                "and still be opened. Remove an embedded sample or an Audio Unit and save again.");
}

TEST(ProjectLoadLimit, OpeningRefusesWhatSavingRefuses)
{
    // Both sides make the same check: a file holding what a save refuses (written here past the check)
    // does not open, and one just inside the limits does.
    auto project = fullFeaturedProject();
    project.mixer[0].audioUnits = std::vector<AudioUnitSlot>(8);
    project.masterFX->audioUnits = std::vector<AudioUnitSlot>(8);
    EXPECT_EQ(decodeProject(encodeProject(project)), project);

    for (auto edit : {+[](Project& p) { p.mixer[0].audioUnits->push_back({}); },
                      +[](Project& p) { p.masterFX->audioUnits->push_back({}); }}) {
        auto over = project;
        edit(over);
        EXPECT_EQ(encodeError(over)->which(), ProjectError::Case::tooLarge);
        const auto bytes = projectToJson(over).dump(2);
        try {
            decodeProject(bytes);
            ADD_FAILURE() << "opened a project that saving refuses";
        } catch (const ProjectError& error) {
            EXPECT_EQ(error.which(), ProjectError::Case::invalid);
        }
    }
}

TEST(ProjectLoadLimit, EncodingRefusesTooManyEffectsOnAKeptTrackOrTheMaster)
{
    auto project = fullFeaturedProject(); // three channels, three tracks
    project.mixer.push_back(MixerTrack{.audioUnits = std::vector<AudioUnitSlot>(9)});
    EXPECT_TRUE(fitsLoadLimit(project)) << "a fourth track is dropped when the project is opened";
    EXPECT_NO_THROW(encodeProject(project));

    project.mixer[2].audioUnits = std::vector<AudioUnitSlot>(9);
    auto error = encodeError(project);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->which(), ProjectError::Case::tooLarge);
    EXPECT_STREQ(error->what(), "This project cannot be saved because track 3 has 9 Audio Unit effects, more than the 8 "
                                "a track can hold. Remove an effect from the track and save again.");

    project.mixer[2].audioUnits = std::vector<AudioUnitSlot>(8);
    project.masterFX->audioUnits = std::vector<AudioUnitSlot>(9);
    error = encodeError(project);
    ASSERT_TRUE(error);
    EXPECT_EQ(loadLimitExcess(project), (LoadLimitExcess{.limit = LoadLimit::masterAudioUnits, .amount = 9}));
}
