#pragma once

// The plug-in editor windows of the application: one top-level window per key holding the plug-in's own
// interface where it ships one we can embed (an X11 one, on an X11 display), else its generic editor,
// sized to the editor's preferred size and centred on the screen. Closing a window
// hides it; it comes back for the same key. Hand one to the model through `AppModelServices`.

#include "Veltrane/Model/AudioUnitEditorWindows.hpp"

#include <QPointer>
#include <QWidget>

#include <map>
#include <string>

namespace veltrane {

class QtAudioUnitEditorWindows final : public AudioUnitEditorWindows {
public:
    /// Window content size for an editor that states no preferred size of its own.
    static constexpr int fallbackWidth = 620;
    static constexpr int fallbackHeight = 480;

    QtAudioUnitEditorWindows() = default;
    ~QtAudioUnitEditorWindows() override;
    QtAudioUnitEditorWindows(const QtAudioUnitEditorWindows&) = delete;
    QtAudioUnitEditorWindows& operator=(const QtAudioUnitEditorWindows&) = delete;

    bool raise(const std::string& key) override;
    void open(const std::string& key, const std::string& title, PluginInstance& unit) override;
    bool anyVisible() const override;

    /// The window kept under `key`, or nullptr (tests).
    QWidget* window(const std::string& key) const;

private:
    std::map<std::string, QPointer<QWidget>> windows_;
};

} // namespace veltrane
