#include "Veltrane/Updates/MessageBoxUpdateDialogs.hpp"

#include <QMessageBox>
#include <QPushButton>

namespace veltrane {

UpdateDialogs::Choice MessageBoxUpdateDialogs::askToUpdate(const QString& message, const QString& informativeText)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Veltrane"), message, QMessageBox::NoButton, m_parent);
    box.setInformativeText(informativeText);
    QPushButton* updateNow = box.addButton(QStringLiteral("Update Now"), QMessageBox::AcceptRole);
    QPushButton* later = box.addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    box.setDefaultButton(updateNow);
    box.setEscapeButton(later);
    box.exec();
    return box.clickedButton() == updateNow ? Choice::updateNow : Choice::later;
}

void MessageBoxUpdateDialogs::inform(const QString& message, const QString& informativeText)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Veltrane"), message, QMessageBox::Ok, m_parent);
    box.setInformativeText(informativeText);
    box.exec();
}

} // namespace veltrane
