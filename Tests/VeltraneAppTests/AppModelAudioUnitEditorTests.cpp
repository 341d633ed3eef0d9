// The editor windows of hosted plug-ins: one window per key, errors through `error`, and the delayed
// capture of a plug-in's settings into the project while an editor is on screen. The engine side runs
// the real live engine over the mda-lv2 plug-ins; the windows are the application's, offscreen.

#include "ModelTestSupport.hpp"

#include "MdaPluginReferences.hpp"

#include "Veltrane/Views/AudioUnitEditors/GenericAudioUnitEditor.hpp"
#include "Veltrane/Views/AudioUnitEditors/QtAudioUnitEditorWindows.hpp"
#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"
#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"

#include <QApplication>
#include <QSlider>
#include <QTest>

#include <algorithm>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

/// Windows that keep what they were asked and let the test say which are on screen.
class RecordingWindows final : public AudioUnitEditorWindows {
public:
    bool raise(const std::string& key) override
    {
        raised.push_back(key);
        if (!opened.contains(key)) return false;
        visible.insert(key);
        return true;
    }
    void open(const std::string& key, const std::string& title, PluginInstance&) override
    {
        opened[key] = title;
        visible.insert(key);
    }
    bool anyVisible() const override { return !visible.empty(); }

    std::map<std::string, std::string> opened; // key to title
    std::set<std::string> visible;
    std::vector<std::string> raised;
};

/// A model whose editor requests get a running mda Delay and whose windows are recorded.
struct EditorHarness {
    EditorHarness()
    {
        auto windowsService = std::make_shared<RecordingWindows>();
        windows = windowsService.get();
        harness.editorWindows = std::move(windowsService);
    }

    AppModel& make()
    {
        auto& model = harness.make();
        if (mdaInstalled()) {
            unit = installedPlugins().instantiate(delayUri, 48000, 512);
            harness.engine->editorUnit = [this](const Project&) -> PluginInstance& { return *unit; };
        }
        return model;
    }

    ModelHarness harness;
    RecordingWindows* windows = nullptr;
    std::unique_ptr<PluginInstance> unit;
};

int argc = 1;
char programName[] = "VeltraneAppTests";
char* argv[] = {programName, nullptr};

} // namespace

TEST(AppModelAudioUnitEditors, EachSlotAndInstrumentTrackHasOneWindow)
{
    VELTRANE_REQUIRE_MDA();
    EditorHarness editors;
    auto& model = editors.make();
    model.select(0, 2, std::nullopt, false);
    model.addTrackAudioUnitEffect(delayReference);
    const Uuid slot = model.project().mixer[2].audioUnits->at(0).id;

    model.openAudioUnitEffectEditor(slot);
    model.openAudioUnitEffectEditor(slot);
    const std::string effectKey = "effect-" + slot.toString();
    EXPECT_EQ(editors.windows->opened, (std::map<std::string, std::string>{{effectKey, "MDA Delay"}}));
    EXPECT_EQ(editors.harness.engine->editorRequests.size(), 1u); // the second time brings the window back

    // A synth has no editor; a hosted instrument has one per track, titled with the plug-in's name.
    model.setSelectedInstrument(0);
    model.openSelectedAudioUnitInstrumentEditor();
    EXPECT_EQ(editors.windows->opened.size(), 1u);
    model.addAudioUnitInstrument(jx10Reference);
    model.setInstrumentName(model.selectedInstrument(), "Lead");
    const Uuid instrument = model.project().instruments.back().id;
    model.openSelectedAudioUnitInstrumentEditor();
    model.select(0, 5, std::nullopt, false);
    model.openSelectedAudioUnitInstrumentEditor();
    EXPECT_EQ(editors.windows->opened.at("instrument-" + instrument.toString() + "-2"), "MDA JX10");
    EXPECT_TRUE(editors.windows->opened.contains("instrument-" + instrument.toString() + "-5"));
    EXPECT_EQ(editors.harness.engine->editorRequests.back(),
              "instrument " + std::to_string(model.selectedInstrument()) + " 5");
    EXPECT_FALSE(model.error());
}

TEST(AppModelAudioUnitEditors, AnEditorThatCannotBeMadeReportsWhyAndOpensNothing)
{
    ModelHarness harness;
    auto windows = std::make_shared<RecordingWindows>();
    harness.editorWindows = windows;
    auto& model = harness.make(); // the engine's editor requests fail
    model.openAudioUnitEffectEditor(Uuid::random());
    EXPECT_EQ(model.error(), "The Audio Unit could not be started.");
    EXPECT_TRUE(windows->opened.empty());
}

TEST(AppModelAudioUnitEditors, SettingsTurnedInAVisibleEditorReachTheProjectOnceTheyRest)
{
    ModelHarness harness;
    auto windows = std::make_shared<RecordingWindows>();
    harness.editorWindows = windows;
    auto& model = harness.make();
    model.addMasterAudioUnitEffect(delayReference);
    const auto steps = model.undoStack().size();
    const Data captured(std::string_view("turned"));
    harness.engine->capture = [&](Project& project) { project.masterFX->audioUnits->at(0).state = captured; };
    const auto changed = [&] { harness.engine->onAudioUnitStateChange(); };

    // Every editor closed: nothing is captured.
    changed();
    harness.scheduler->advance(std::chrono::seconds(1));
    EXPECT_EQ(harness.engine->captures, 0);

    windows->visible.insert("effect-x");
    for (int turn = 0; turn < 3; ++turn) {
        changed();
        harness.scheduler->advance(std::chrono::milliseconds(200));
    }
    EXPECT_EQ(harness.engine->captures, 0); // still turning
    harness.scheduler->advance(std::chrono::milliseconds(150));
    EXPECT_EQ(harness.engine->captures, 1);
    EXPECT_EQ(model.project().masterFX->audioUnits->at(0).state, captured);
    EXPECT_EQ(model.undoStack().size(), steps); // not an undo step
    EXPECT_TRUE(model.isDirty());
    harness.passAutosaveDelay();
    EXPECT_TRUE(std::filesystem::exists(harness.autosavePath()));
}

TEST(AppModelAudioUnitEditors, TheLiveEngineMakesEachEditorsUnitOnce)
{
    VELTRANE_REQUIRE_MDA();
    AudioEngineControl control(std::make_unique<AudioEngine>(AudioEngine::Options{.device = std::nullopt}));
    Project project;
    project.instruments.push_back(Instrument::withAudioUnit("Lead", jx10Reference, std::nullopt));
    project.mixer[1].audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{.reference = delayReference}};
    const Uuid slot = project.mixer[1].audioUnits->at(0).id;

    PluginInstance& effect = control.effectEditorUnit(project, slot);
    EXPECT_EQ(effect.description().uri, delayUri);
    EXPECT_EQ(&control.effectEditorUnit(project, slot), &effect);
    EXPECT_EQ(control.engine().audioUnitHosting().audioUnitEffect(slot)->instance().description().uri, delayUri);

    const int hosted = static_cast<int>(project.instruments.size()) - 1;
    PluginInstance& instrument = control.instrumentEditorUnit(project, hosted, 3);
    EXPECT_EQ(instrument.description().uri, jx10Uri);
    EXPECT_EQ(&control.instrumentEditorUnit(project, hosted, 3), &instrument);
    EXPECT_NE(&control.instrumentEditorUnit(project, hosted, 4), &instrument); // its own unit on each track

    EXPECT_THROW(control.effectEditorUnit(project, Uuid::random()), std::runtime_error);
    EXPECT_THROW(control.instrumentEditorUnit(project, 0, 0), std::runtime_error); // a synth
    EXPECT_THROW(control.instrumentEditorUnit(project, hosted + 1, 0), std::runtime_error);
    EXPECT_THROW(control.instrumentEditorUnit(project, hosted, 32), std::runtime_error);

    // A plug-in this machine lacks: the reason names it.
    project.masterFX->audioUnits = std::vector<AudioUnitSlot>{
        AudioUnitSlot{.reference = AudioUnitReference{audioUnitEffectType, 0x0BADF00D, 1, "Absent Echo", "Nobody"}}};
    try {
        control.effectEditorUnit(project, project.masterFX->audioUnits->at(0).id);
        ADD_FAILURE() << "an editor for a missing plug-in";
    } catch (const std::runtime_error& failure) {
        EXPECT_NE(std::string(failure.what()).find("Absent Echo"), std::string::npos) << failure.what();
    }
}

TEST(AppModelAudioUnitEditors, TheGenericEditorHasASliderPerParameterThatSetsIt)
{
    VELTRANE_REQUIRE_MDA();
    QApplication app(argc, argv);
    auto delay = installedPlugins().instantiate(delayUri, 48000, 512);
    auto jx10 = installedPlugins().instantiate(jx10Uri, 48000, 512);
    for (auto* unit : {delay.get(), jx10.get()}) {
        GenericAudioUnitEditor editor(*unit, "Title");
        const int count = static_cast<int>(unit->parameters().size());
        ASSERT_EQ(static_cast<int>(editor.sliders().size()), count);
        EXPECT_EQ(editor.preferredContentSize(), QSize(520, std::clamp(34 * count + 70, 180, 620)));
        EXPECT_EQ(editor.sliders()[0]->accessibleName().toStdString(), unit->parameters()[0].name);
    }
    ASSERT_GT(jx10->parameters().size() * 34 + 70, 620u); // the long list scrolls in the capped height

    GenericAudioUnitEditor editor(*delay, "MDA Delay");
    const auto& parameter = delay->parameters()[1];
    const auto changes = delay->parameterChangeCount();
    editor.sliders()[1]->setValue(GenericAudioUnitEditor::sliderSteps);
    EXPECT_FLOAT_EQ(delay->parameterValue(1), parameter.maximum);
    EXPECT_GT(delay->parameterChangeCount(), changes);
    editor.sliders()[1]->setValue(0);
    EXPECT_FLOAT_EQ(delay->parameterValue(1), parameter.minimum);

    // A change made to the unit elsewhere moves the slider while the editor is shown.
    editor.show();
    delay->setParameterValue(1, parameter.maximum);
    QTest::qWait(250);
    EXPECT_EQ(editor.sliders()[1]->value(), GenericAudioUnitEditor::sliderSteps);
}

TEST(AppModelAudioUnitEditors, ClosingAWindowHidesItAndTheSameKeyBringsItBack)
{
    VELTRANE_REQUIRE_MDA();
    QApplication app(argc, argv);
    auto delay = installedPlugins().instantiate(delayUri, 48000, 512);
    QtAudioUnitEditorWindows windows;
    EXPECT_FALSE(windows.raise("effect-A"));
    EXPECT_FALSE(windows.anyVisible());

    windows.open("effect-A", "MDA Delay", *delay);
    QWidget* window = windows.window("effect-A");
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("MDA Delay"));
    const int count = static_cast<int>(delay->parameters().size());
    EXPECT_EQ(window->size(), QSize(520, std::clamp(34 * count + 70, 180, 620)));
    EXPECT_TRUE(windows.anyVisible());

    window->close();
    EXPECT_FALSE(windows.anyVisible());
    EXPECT_TRUE(windows.raise("effect-A"));
    EXPECT_EQ(windows.window("effect-A"), window);
    EXPECT_TRUE(window->isVisible());
}
