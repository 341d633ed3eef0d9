#include "Veltrane/Views/AudioUnitEditors/PluginInterfaceEditor.hpp"

#include "VeltranePlatform/Plugins/PluginUserInterface.hpp"

#include <QGuiApplication>
#include <QResizeEvent>
#include <QTimer>

#include <cmath>

namespace veltrane {

bool PluginInterfaceEditor::canEmbed() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

bool PluginInterfaceEditor::available(const PluginInstance& unit)
{
    return canEmbed() && PluginUserInterface::available(unit);
}

PluginInterfaceEditor::PluginInterfaceEditor(PluginInstance& unit, QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_NativeWindow);
    // The interface draws its own window; ours only holds it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    interface_ = PluginUserInterface::create(unit, static_cast<std::uintptr_t>(winId()));
    idle_ = new QTimer(this);
    idle_->setInterval(30);
    connect(idle_, &QTimer::timeout, this, &PluginInterfaceEditor::idle);
}

PluginInterfaceEditor::~PluginInterfaceEditor()
{
    // The interface goes before the native window it lives in.
    interface_.reset();
}

QSize PluginInterfaceEditor::preferredContentSize() const
{
    const auto requested = interface_->requestedSize();
    if (!requested) return {};
    const double ratio = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0;
    return QSize(static_cast<int>(std::lround(requested->width / ratio)),
                 static_cast<int>(std::lround(requested->height / ratio)));
}

QSize PluginInterfaceEditor::sizeHint() const
{
    const QSize preferred = preferredContentSize();
    return preferred.isEmpty() ? QWidget::sizeHint() : preferred;
}

quintptr PluginInterfaceEditor::interfaceWindow() const { return interface_->window(); }

void PluginInterfaceEditor::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    idle();
    idle_->start();
}

void PluginInterfaceEditor::hideEvent(QHideEvent* event)
{
    idle_->stop();
    QWidget::hideEvent(event);
}

void PluginInterfaceEditor::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const double ratio = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0;
    interface_->resize({static_cast<int>(std::lround(event->size().width() * ratio)),
                        static_cast<int>(std::lround(event->size().height() * ratio))});
}

void PluginInterfaceEditor::idle()
{
    // An interface that asks to be closed hides its window, as closing it by hand does.
    if (!interface_->idle()) window()->close();
}

} // namespace veltrane
