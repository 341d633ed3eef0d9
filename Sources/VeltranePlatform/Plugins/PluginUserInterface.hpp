#pragma once

// A plug-in's own editor: the X11 interface its bundle ships, started inside a window of ours (its
// parent) for one running instance. What the interface sets goes to the instance's parameters, which the
// audio thread picks up and the project learns of like any other change; values changed elsewhere (the
// generic editor, a restored state) are sent to the interface by `idle`, which also gives it its turn to
// draw and handle input.
//
//     if (PluginUserInterface::available(unit)) {
//         auto ui = PluginUserInterface::create(unit, parentWindowId);   // throws PluginError
//         every 30 ms: if (!ui->idle()) close the window;
//     }
//
// Main thread only. The instance must outlive the interface, and the parent window must outlive it too.

#include "VeltranePlatform/Plugins/PluginError.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace veltrane {

class PluginInstance;

/// A width and height in pixels.
struct PluginInterfaceSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PluginInterfaceSize&, const PluginInterfaceSize&) = default;
};

class PluginUserInterface {
public:
    /// Whether the instance's plug-in ships an X11 interface that needs nothing we do not give it.
    static bool available(const PluginInstance& unit);
    /// Starts that interface as a child of the X11 window `parentWindow`, with every parameter's current
    /// value. Throws `PluginError` (`instantiationFailed`, the loader's reason as detail) when there is
    /// none or it does not start.
    static std::unique_ptr<PluginUserInterface> create(PluginInstance& unit, std::uintptr_t parentWindow);

    ~PluginUserInterface();
    PluginUserInterface(const PluginUserInterface&) = delete;
    PluginUserInterface& operator=(const PluginUserInterface&) = delete;

    /// The interface's own X11 window inside the parent.
    std::uintptr_t window() const noexcept;
    /// The size the interface last asked for, if it asked.
    std::optional<PluginInterfaceSize> requestedSize() const noexcept;
    /// Tells the interface its parent now has this size, when it can follow.
    void resize(PluginInterfaceSize size);
    /// Sends the interface the parameters that changed since it last heard of them, then lets it run
    /// its idle work. False once the interface asks to be closed.
    bool idle();

private:
    struct Impl;
    explicit PluginUserInterface(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace veltrane
