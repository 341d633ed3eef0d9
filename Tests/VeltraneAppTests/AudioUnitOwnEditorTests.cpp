// A plug-in's own X11 interface in its editor window, on a real (virtual) X display: synthv1 ships one.
// What the interface sets reaches the running plug-in, and values changed elsewhere reach the interface.
// A plug-in without one keeps the generic editor.

#include "ModelTestSupport.hpp"
#include "XvfbDisplay.hpp"

#include "../VeltranePlatformTests/PluginHostTestSupport.hpp"

#include "Veltrane/Views/AudioUnitEditors/GenericAudioUnitEditor.hpp"
#include "Veltrane/Views/AudioUnitEditors/PluginInterfaceEditor.hpp"
#include "Veltrane/Views/AudioUnitEditors/QtAudioUnitEditorWindows.hpp"

#include <QApplication>
#include <QDial>
#include <QTest>

#include <map>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

constexpr const char* synthv1Uri = "http://synthv1.sourceforge.net/lv2";

char programName[] = "veltrane-tests";
int argc = 1;
char* argv[] = {programName, nullptr};

/// The dials of every window but `ours`: the plug-in's interface is made of Qt widgets of its own.
std::vector<QDial*> interfaceDials(const QWidget* ours)
{
    std::vector<QDial*> dials;
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* dial = qobject_cast<QDial*>(widget);
        if (dial && dial->window() != ours && dial->isEnabled()) dials.push_back(dial);
    }
    return dials;
}

std::vector<int> valuesOf(const std::vector<QDial*>& dials)
{
    std::vector<int> values;
    for (const QDial* dial : dials) values.push_back(dial->value());
    return values;
}

} // namespace

TEST(AudioUnitOwnEditor, AnX11InterfaceIsEmbeddedAndHearsAndSetsTheParameters)
{
    VELTRANE_REQUIRE_MDA();
    if (!installedPlugins().find(synthv1Uri)) GTEST_SKIP() << "synthv1 (synthv1-lv2, which ships an X11 interface) is not installed";
    XvfbDisplay display;
    if (!display.name()) GTEST_SKIP() << "Xvfb (package xvfb) could not be started";
    QApplication app(argc, argv);
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));

    auto synth = installedPlugins().instantiate(synthv1Uri, 48000, 512);
    auto delay = installedPlugins().instantiate(delayUri, 48000, 512);
    QtAudioUnitEditorWindows windows;
    ASSERT_TRUE(PluginInterfaceEditor::available(*synth));
    EXPECT_FALSE(PluginInterfaceEditor::available(*delay)) << "mda Delay ships no interface";

    windows.open("instrument-A-0", "synthv1", *synth);
    QWidget* window = windows.window("instrument-A-0");
    ASSERT_TRUE(window);
    auto* own = window->findChild<PluginInterfaceEditor*>();
    ASSERT_TRUE(own) << "the plug-in's own interface, not the generic editor";
    EXPECT_FALSE(window->findChild<GenericAudioUnitEditor*>());
    EXPECT_NE(own->interfaceWindow(), 0u);
    // The window takes the size the interface asked for.
    ASSERT_FALSE(own->preferredContentSize().isEmpty());
    EXPECT_EQ(window->size(), own->preferredContentSize());
    QTest::qWait(300);

    const auto dials = interfaceDials(window);
    ASSERT_GT(dials.size(), 10u) << "synthv1's interface has a dial per setting";

    // The interface sets a parameter: the running plug-in has the new value.
    std::vector<float> before;
    for (std::size_t i = 0; i < synth->parameters().size(); ++i) before.push_back(synth->parameterValue(i));
    const auto changes = synth->parameterChangeCount();
    QDial* turned = dials.front();
    turned->setValue(turned->value() == turned->maximum() ? turned->minimum() : turned->maximum());
    QTest::qWait(100);
    EXPECT_GT(synth->parameterChangeCount(), changes);
    std::size_t changed = 0;
    for (std::size_t i = 0; i < before.size(); ++i) changed += synth->parameterValue(i) != before[i] ? 1 : 0;
    EXPECT_GE(changed, 1u);

    // A value changed elsewhere (the generic editor, a restored state) moves the interface's dial.
    const auto shownBefore = valuesOf(dials);
    const auto cutoff = synth->parameterIndex("DCF1_CUTOFF");
    ASSERT_TRUE(cutoff);
    const auto& parameter = synth->parameters()[*cutoff];
    const float moved = synth->parameterValue(*cutoff) > 0.5f * (parameter.minimum + parameter.maximum)
                            ? parameter.minimum
                            : parameter.maximum;
    synth->setParameterValue(*cutoff, moved);
    QTest::qWait(300);
    EXPECT_NE(valuesOf(dials), shownBefore);

    // Closing hides the window; the interface stays for the same key.
    window->close();
    EXPECT_FALSE(windows.anyVisible());
    EXPECT_TRUE(windows.raise("instrument-A-0"));
    EXPECT_EQ(window->findChild<PluginInterfaceEditor*>(), own);

    // Without an interface of its own, a plug-in keeps the generic editor on the same display.
    windows.open("effect-B", "MDA Delay", *delay);
    ASSERT_TRUE(windows.window("effect-B"));
    EXPECT_TRUE(windows.window("effect-B")->findChild<GenericAudioUnitEditor*>());
    EXPECT_FALSE(windows.window("effect-B")->findChild<PluginInterfaceEditor*>());
}
