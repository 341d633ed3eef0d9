#pragma once

#include "Veltrane/Updates/UpdateCommands.hpp"

class QWidget;

namespace veltrane {

/// The update dialogs as Qt message boxes, modal over `parent` (the main window) when given.
class MessageBoxUpdateDialogs final : public UpdateDialogs {
public:
    explicit MessageBoxUpdateDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    Choice askToUpdate(const QString& message, const QString& informativeText) override;
    void inform(const QString& message, const QString& informativeText) override;

private:
    QWidget* m_parent;
};

} // namespace veltrane
