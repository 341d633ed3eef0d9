#include "Veltrane/Views/AudioUnitEditors/QtAudioUnitEditorWindows.hpp"

#include "Veltrane/Views/AudioUnitEditors/GenericAudioUnitEditor.hpp"
#include "Veltrane/Views/AudioUnitEditors/PluginInterfaceEditor.hpp"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace veltrane {

QtAudioUnitEditorWindows::~QtAudioUnitEditorWindows()
{
    for (auto& [key, window] : windows_) delete window.data();
}

QWidget* QtAudioUnitEditorWindows::window(const std::string& key) const
{
    const auto found = windows_.find(key);
    return found == windows_.end() ? nullptr : found->second.data();
}

bool QtAudioUnitEditorWindows::raise(const std::string& key)
{
    QWidget* shown = window(key);
    if (!shown) return false;
    shown->show();
    shown->raise();
    shown->activateWindow();
    return true;
}

void QtAudioUnitEditorWindows::open(const std::string& key, const std::string& title, PluginInstance& unit)
{
    auto* made = new QWidget(nullptr, Qt::Window);
    made->setWindowTitle(QString::fromStdString(title));
    auto* layout = new QVBoxLayout(made);
    layout->setContentsMargins(0, 0, 0, 0);
    QSize size;
    if (PluginInterfaceEditor::available(unit)) {
        try {
            auto* own = new PluginInterfaceEditor(unit, made);
            layout->addWidget(own);
            size = own->preferredContentSize();
        } catch (const std::exception&) {
            // An interface that does not start leaves the generic editor to do its work.
        }
    }
    if (layout->count() == 0) {
        auto* editor = new GenericAudioUnitEditor(unit, QString::fromStdString(title));
        layout->addWidget(editor);
        size = editor->preferredContentSize();
    }
    if (size.width() <= 0 || size.height() <= 0) size = QSize(fallbackWidth, fallbackHeight);
    made->resize(size);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size);
        frame.moveCenter(screen->availableGeometry().center());
        made->move(frame.topLeft());
    }
    windows_[key] = made;
    made->show();
    made->raise();
    made->activateWindow();
}

bool QtAudioUnitEditorWindows::anyVisible() const
{
    for (const auto& [key, window] : windows_) {
        if (window && window->isVisible()) return true;
    }
    return false;
}

} // namespace veltrane
