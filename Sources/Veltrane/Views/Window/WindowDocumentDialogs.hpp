#pragma once

// The model's document prompts, shown over the main window once it exists. The model is made before
// the window, so the window is handed over later.

#include "Veltrane/Views/QtDocumentDialogs.hpp"

#include <QPointer>
#include <QWidget>

namespace veltrane {

class WindowDocumentDialogs final : public DocumentDialogs {
public:
    void setWindow(QWidget* window) { window_ = window; }

    std::optional<std::filesystem::path> chooseSaveLocation(const std::string& suggestedFileName) override
    {
        return QtDocumentDialogs(window_).chooseSaveLocation(suggestedFileName);
    }
    std::optional<std::filesystem::path> chooseProjectToOpen() override
    {
        return QtDocumentDialogs(window_).chooseProjectToOpen();
    }
    UnsavedChangesChoice askAboutUnsavedChanges(const UnsavedChangesAlert& alert) override
    {
        return QtDocumentDialogs(window_).askAboutUnsavedChanges(alert);
    }

private:
    QPointer<QWidget> window_;
};

} // namespace veltrane
