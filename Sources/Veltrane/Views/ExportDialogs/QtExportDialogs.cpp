#include "Veltrane/Views/ExportDialogs/QtExportDialogs.hpp"

#include <QFileDialog>

namespace veltrane {

namespace {

std::optional<std::filesystem::path> run(QFileDialog& dialog, bool native)
{
    if (!native) dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

std::optional<std::filesystem::path> saveFile(QWidget* parent, bool native, const QString& title, const QString& filter,
                                              const QString& suffix, const std::string& suggestedFileName)
{
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(QString::fromStdString(suggestedFileName));
    return run(dialog, native);
}

} // namespace

std::optional<std::filesystem::path> QtExportDialogs::chooseWAVDestination(const std::string& suggestedFileName)
{
    return saveFile(parent_, useNativeFileDialogs, QStringLiteral("Export WAV"), QStringLiteral("WAV Audio (*.wav)"),
                    QStringLiteral("wav"), suggestedFileName);
}

std::optional<std::filesystem::path> QtExportDialogs::chooseStemsFolder()
{
    QFileDialog dialog(parent_, QStringLiteral("Export Stems"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Export Stems"));
    return run(dialog, useNativeFileDialogs);
}

std::optional<std::filesystem::path> QtExportDialogs::chooseMIDIDestination(const std::string& suggestedFileName)
{
    return saveFile(parent_, useNativeFileDialogs, QStringLiteral("Export MIDI"),
                    QStringLiteral("MIDI File (*.mid *.midi)"), QStringLiteral("mid"), suggestedFileName);
}

std::optional<std::filesystem::path> QtExportDialogs::chooseMIDIFileToImport()
{
    QFileDialog dialog(parent_, QStringLiteral("Import MIDI"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("MIDI File (*.mid *.midi)"));
    return run(dialog, useNativeFileDialogs);
}

} // namespace veltrane
