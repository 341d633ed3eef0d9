#pragma once

// The export and import panels as Qt file dialogs, each run modally over the window. The model is made
// before the window, so the window can be handed over later.

#include "Veltrane/Model/ExportDialogs.hpp"

#include <QPointer>
#include <QWidget>

namespace veltrane {

class QtExportDialogs final : public ExportDialogs {
public:
    explicit QtExportDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    void setWindow(QWidget* window) { parent_ = window; }

    std::optional<std::filesystem::path> chooseWAVDestination(const std::string& suggestedFileName) override;
    std::optional<std::filesystem::path> chooseStemsFolder() override;
    std::optional<std::filesystem::path> chooseMIDIDestination(const std::string& suggestedFileName) override;
    std::optional<std::filesystem::path> chooseMIDIFileToImport() override;

    /// The desktop's own file dialogs (the default), or Qt's, which tests can drive.
    bool useNativeFileDialogs = true;

private:
    QPointer<QWidget> parent_;
};

} // namespace veltrane
