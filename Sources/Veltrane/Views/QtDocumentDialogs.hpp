#pragma once

// The model's document prompts as Qt dialogs: the save panel for project files, the open panel for
// project and JSON files, and the unsaved-changes alert. Each runs modally over `parent`.

#include "Veltrane/Model/DocumentDialogs.hpp"

class QWidget;

namespace veltrane {

class QtDocumentDialogs final : public DocumentDialogs {
public:
    explicit QtDocumentDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    std::optional<std::filesystem::path> chooseSaveLocation(const std::string& suggestedFileName) override;
    std::optional<std::filesystem::path> chooseProjectToOpen() override;
    UnsavedChangesChoice askAboutUnsavedChanges(const UnsavedChangesAlert& alert) override;

    /// The desktop's own file dialogs (the default), or Qt's, which tests can drive.
    bool useNativeFileDialogs = true;

private:
    QWidget* parent_;
};

} // namespace veltrane
