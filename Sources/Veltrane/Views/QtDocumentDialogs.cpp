#include "Veltrane/Views/QtDocumentDialogs.hpp"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace veltrane {

namespace {

std::optional<std::filesystem::path> runFileDialog(QFileDialog& dialog, bool native)
{
    if (!native) dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().first().toStdString());
}

} // namespace

std::optional<std::filesystem::path> QtDocumentDialogs::chooseSaveLocation(const std::string& suggestedFileName)
{
    QFileDialog dialog(parent_, QStringLiteral("Save Project"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Veltrane Project (*.veltrane)"));
    dialog.setDefaultSuffix(QStringLiteral("veltrane"));
    dialog.selectFile(QString::fromStdString(suggestedFileName));
    return runFileDialog(dialog, useNativeFileDialogs);
}

std::optional<std::filesystem::path> QtDocumentDialogs::chooseProjectToOpen()
{
    QFileDialog dialog(parent_, QStringLiteral("Open Project"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("Veltrane Project (*.veltrane *.json)"));
    return runFileDialog(dialog, useNativeFileDialogs);
}

UnsavedChangesChoice QtDocumentDialogs::askAboutUnsavedChanges(const UnsavedChangesAlert& alert)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Veltrane"), QString::fromStdString(alert.messageText),
                    QMessageBox::NoButton, parent_);
    box.setInformativeText(QString::fromStdString(alert.informativeText));
    QPushButton* save = box.addButton(QString::fromStdString(alert.buttons[0]), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QString::fromStdString(alert.buttons[1]), QMessageBox::RejectRole);
    QPushButton* discard = box.addButton(QString::fromStdString(alert.buttons[2]), QMessageBox::DestructiveRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) return UnsavedChangesChoice::save;
    if (box.clickedButton() == discard) return UnsavedChangesChoice::dontSave;
    return UnsavedChangesChoice::cancel;
}

} // namespace veltrane
