#pragma once

// The modal prompts the model starts: the save panel, the open panel and the unsaved-changes alert. The
// application shows Qt dialogs; tests answer from a script.

#include <array>
#include <filesystem>
#include <optional>
#include <string>

namespace veltrane {

/// The project file's extension; the open panel also accepts JSON files.
inline constexpr const char* projectFileExtension = ".veltrane";
/// The project document's MIME type.
inline constexpr const char* projectMimeType = "application/x-veltrane-project";

/// The unsaved-changes alert as the model words it. Buttons in order: save, cancel, don't save.
struct UnsavedChangesAlert {
    std::string messageText;
    std::string informativeText;
    std::array<std::string, 3> buttons;

    friend bool operator==(const UnsavedChangesAlert&, const UnsavedChangesAlert&) = default;
};

enum class UnsavedChangesChoice { save, cancel, dontSave };

class DocumentDialogs {
public:
    virtual ~DocumentDialogs() = default;

    /// A save panel for project files, its name field holding `suggestedFileName`. Nothing when the user
    /// cancels.
    virtual std::optional<std::filesystem::path> chooseSaveLocation(const std::string& suggestedFileName) = 0;
    /// An open panel for one project (or JSON) file. Nothing when the user cancels.
    virtual std::optional<std::filesystem::path> chooseProjectToOpen() = 0;
    /// The unsaved-changes alert, run modally.
    virtual UnsavedChangesChoice askAboutUnsavedChanges(const UnsavedChangesAlert& alert) = 0;
};

/// Prompts for a model that has no window: every panel is cancelled and the alert answers Cancel, so
/// nothing is ever dropped or written without the user's word.
class NoDocumentDialogs final : public DocumentDialogs {
public:
    std::optional<std::filesystem::path> chooseSaveLocation(const std::string&) override { return std::nullopt; }
    std::optional<std::filesystem::path> chooseProjectToOpen() override { return std::nullopt; }
    UnsavedChangesChoice askAboutUnsavedChanges(const UnsavedChangesAlert&) override
    {
        return UnsavedChangesChoice::cancel;
    }
};

} // namespace veltrane
