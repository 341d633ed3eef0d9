#pragma once

// The plug-in editor windows, one per key ("instrument-<instrument id>-<track>" or "effect-<slot id>").
// The model decides when one opens; the view layer makes the windows: the application hands the model
// `QtAudioUnitEditorWindows`, tests a recorder. A window once made stays for the model's life; closing
// it only hides it, and the same key brings the same window back.

#include <string>

namespace veltrane {

class PluginInstance;

class AudioUnitEditorWindows {
public:
    virtual ~AudioUnitEditorWindows() = default;

    /// Shows the window kept under `key` and brings it to the front; false when there is none yet.
    virtual bool raise(const std::string& key) = 0;
    /// Makes a window under `key`, titled `title`, holding the editor of `unit`, and shows it. The unit
    /// outlives the window (the engine keeps every unit it made).
    virtual void open(const std::string& key, const std::string& title, PluginInstance& unit) = 0;
    /// Whether any editor window is on screen now.
    virtual bool anyVisible() const = 0;
};

/// Where no window can be shown: nothing opens and nothing is ever visible.
class NoAudioUnitEditorWindows final : public AudioUnitEditorWindows {
public:
    bool raise(const std::string&) override { return false; }
    void open(const std::string&, const std::string&, PluginInstance&) override {}
    bool anyVisible() const override { return false; }
};

} // namespace veltrane
