#pragma once

#include "VeltranePlatform/Plugins/PluginDescription.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct LilvPluginImpl;

namespace veltrane {

namespace detail {
struct PluginWorld;
struct PluginInstanceAccess;
} // namespace detail

/// How an instance will be run. Live, it plays in real time on an audio thread and does its slow work
/// (loading files, preparing tables) on a thread of its own meanwhile; offline (the export), it renders
/// as fast as it can, is told it is free-wheeling, and does that work at once, on the rendering thread,
/// so that the same project always renders the same bytes.
enum class PluginRunMode { live, offline };

/// One control input of a plug-in: what the generic editor shows as a slider and what its state holds.
struct PluginParameter {
    std::string symbol;
    std::string name;
    float minimum = 0.0f;
    float maximum = 1.0f;
    float defaultValue = 0.0f;
    friend bool operator==(const PluginParameter&, const PluginParameter&) = default;
};

/// A short MIDI message at a frame inside the block being processed. The length of the message follows
/// from its status byte (three bytes for notes and controllers, two for program change and channel
/// pressure); unused bytes are ignored.
struct PluginMidiEvent {
    int frameOffset = 0;
    std::array<std::uint8_t, 3> bytes{};
    friend bool operator==(const PluginMidiEvent&, const PluginMidiEvent&) = default;
};

/// A running plug-in, made by `PluginHost::instantiate`. It works in stereo: two non-interleaved float
/// channels in and out, whatever the plug-in's own port layout is.
///
/// Threads: `process` belongs to one audio thread at a time. Parameters and bypass may be set from any
/// thread (they are atomics the next block picks up). State is saved and restored on the main thread;
/// a restore while the audio thread runs is safe (that block is passed through as if bypassed).
class PluginInstance {
public:
    /// Events beyond this many in one `process` call are dropped.
    static constexpr std::size_t maximumMidiEventsPerCall = 1024;

    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    const PluginDescription& description() const noexcept;
    double sampleRate() const noexcept;
    int maximumBlockFrames() const noexcept;
    /// Whether the plug-in has a MIDI input; without one, MIDI events passed to `process` are dropped.
    bool acceptsMidi() const noexcept;

    /// The control inputs in port order. Fixed for the instance's life. The inputs the host sets itself
    /// (free-wheeling, enable, tempo) are not among them, and are not saved with the state.
    const std::vector<PluginParameter>& parameters() const noexcept;
    std::optional<std::size_t> parameterIndex(std::string_view symbol) const noexcept;
    /// The value the plug-in gets from the next block on. Any thread.
    float parameterValue(std::size_t index) const noexcept;
    /// Sets a parameter, clamped to its range; a NaN or an index out of range is ignored. Any thread.
    void setParameterValue(std::size_t index, float value) noexcept;
    /// Grows by at least one whenever a parameter value changes (by `setParameterValue` or a restored
    /// state). An owner compares it with the count it saw last to learn that the settings changed.
    std::uint64_t parameterChangeCount() const noexcept;

    /// Bypass. A plug-in with an enable port keeps running with that port off and bypasses itself;
    /// otherwise the plug-in does not run: a bypassed effect passes its input through unchanged and a
    /// bypassed instrument is silent. Any thread.
    void setBypassed(bool bypassed) noexcept;
    bool isBypassed() const noexcept;

    /// The song's tempo in beats per minute, for a plug-in with a tempo input (120 until set); values
    /// that are not positive are ignored. Any thread; the next block picks it up.
    void setTempo(double beatsPerMinute) noexcept;
    double tempo() const noexcept;

    /// The plug-in's full state as LV2 state in Turtle text; the same settings give the same bytes.
    /// Nothing when the plug-in could not save it. Main thread.
    std::optional<std::vector<std::uint8_t>> saveState() const;
    /// Restores a state made by `saveState` for the same plug-in. Bytes that are not such a state are
    /// ignored and the current settings stay: the result is then false. Main thread.
    bool restoreState(std::span<const std::uint8_t> bytes);

    /// Renders `frames` frames. `input` holds two channels (nullptr or a null channel is silence; an
    /// instrument ignores it), `output` two channels; they may be the same buffers. Blocks longer than
    /// `maximumBlockFrames()` are run in several slices. `midiEvents` need not be sorted: they reach the
    /// plug-in in frame order (events at one frame in the given order); offsets outside the block are
    /// moved to its first or last frame so that no note-off is lost.
    /// Audio thread: never allocates, locks or waits.
    void process(const float* const* input, float* const* output, int frames,
                 std::span<const PluginMidiEvent> midiEvents) noexcept;

private:
    friend class PluginHost;
    friend struct detail::PluginInstanceAccess;
    struct Impl;
    explicit PluginInstance(std::unique_ptr<Impl> impl);
    static std::unique_ptr<PluginInstance> create(std::shared_ptr<detail::PluginWorld> world,
                                                  const LilvPluginImpl* plugin,
                                                  const PluginDescription& description, double sampleRate,
                                                  int maximumBlockFrames, PluginRunMode mode);
    std::unique_ptr<Impl> impl_;
};

} // namespace veltrane
