#pragma once

// The editor of a hosted plug-in that ships its own X11 interface: that interface, started inside this
// widget's native window. It runs while the editor is on screen (its idle turn, and the parameter values
// changed elsewhere, every 30 ms); what it sets reaches the running plug-in at once and the project
// through the model's delayed capture, as the generic editor's sliders do.

#include <QSize>
#include <QWidget>

#include <memory>

class QTimer;

namespace veltrane {

class PluginInstance;
class PluginUserInterface;

class PluginInterfaceEditor final : public QWidget {
    Q_OBJECT

public:
    /// Whether plug-in interfaces can be embedded here: only on an X11 display.
    static bool canEmbed();
    /// Whether `unit` has an interface this editor can show (on an X11 display).
    static bool available(const PluginInstance& unit);

    /// Starts the interface of `unit` (which must outlive the editor) inside this widget. `parent` is
    /// the window the editor will stay in: a native window cannot change parents once the interface
    /// lives in it. Throws `PluginError` when the interface does not start.
    PluginInterfaceEditor(PluginInstance& unit, QWidget* parent);
    ~PluginInterfaceEditor() override;

    /// The size the interface asked for, or an empty size when it named none.
    QSize preferredContentSize() const;
    QSize sizeHint() const override;

    /// The interface's own window inside ours (tests).
    quintptr interfaceWindow() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void idle();

    std::unique_ptr<PluginUserInterface> interface_;
    QTimer* idle_ = nullptr;
};

} // namespace veltrane
