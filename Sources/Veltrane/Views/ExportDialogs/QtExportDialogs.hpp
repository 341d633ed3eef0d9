#pragma once

// The export and import panels as Qt file dialogs, each run modally over `parent`.

#include "Veltrane/Model/ExportDialogs.hpp"

class QWidget;

namespace veltrane {

class QtExportDialogs final : public ExportDialogs {
public:
    explicit QtExportDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    std::optional<std::filesystem::path> chooseWAVDestination(const std::string& suggestedFileName) override;
    std::optional<std::filesystem::path> chooseStemsFolder() override;
    std::optional<std::filesystem::path> chooseMIDIDestination(const std::string& suggestedFileName) override;
    std::optional<std::filesystem::path> chooseMIDIFileToImport() override;

    /// The desktop's own file dialogs (the default), or Qt's, which tests can drive.
    bool useNativeFileDialogs = true;

private:
    QWidget* parent_;
};

} // namespace veltrane
