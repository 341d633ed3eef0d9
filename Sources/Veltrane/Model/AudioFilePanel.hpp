#pragma once

// The open panel for one audio file, as the sample commands ask for it.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace veltrane {

using AudioFilePanel = std::function<std::optional<std::filesystem::path>(const std::string& message)>;

/// A modal Qt file dialog for the audio files we can read, titled with the message, in a widget
/// application; outside one (a command-line render, a test) every panel is cancelled.
AudioFilePanel qtAudioFilePanel();

} // namespace veltrane
