#pragma once

// The panels of the export and import commands: where a WAV or MIDI file goes, which folder takes the
// stems, and which MIDI file to import. The application shows Qt dialogs; tests answer from a script.

#include <filesystem>
#include <optional>
#include <string>

namespace veltrane {

class ExportDialogs {
public:
    virtual ~ExportDialogs() = default;

    /// A save panel for WAV files, its name field holding `suggestedFileName`. Nothing when cancelled.
    virtual std::optional<std::filesystem::path> chooseWAVDestination(const std::string& suggestedFileName) = 0;
    /// A folder panel (new folders allowed) with the button "Export Stems". Nothing when cancelled.
    virtual std::optional<std::filesystem::path> chooseStemsFolder() = 0;
    /// A save panel for MIDI files, its name field holding `suggestedFileName`. Nothing when cancelled.
    virtual std::optional<std::filesystem::path> chooseMIDIDestination(const std::string& suggestedFileName) = 0;
    /// An open panel for one MIDI file. Nothing when cancelled.
    virtual std::optional<std::filesystem::path> chooseMIDIFileToImport() = 0;
};

/// For a model without a window: every panel is cancelled.
class NoExportDialogs final : public ExportDialogs {
public:
    std::optional<std::filesystem::path> chooseWAVDestination(const std::string&) override { return std::nullopt; }
    std::optional<std::filesystem::path> chooseStemsFolder() override { return std::nullopt; }
    std::optional<std::filesystem::path> chooseMIDIDestination(const std::string&) override { return std::nullopt; }
    std::optional<std::filesystem::path> chooseMIDIFileToImport() override { return std::nullopt; }
};

} // namespace veltrane
