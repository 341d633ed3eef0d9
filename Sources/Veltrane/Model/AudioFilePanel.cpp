#include "Veltrane/Model/AudioFilePanel.hpp"

#include <QApplication>
#include <QFileDialog>

namespace veltrane {

AudioFilePanel qtAudioFilePanel()
{
    return [](const std::string& message) -> std::optional<std::filesystem::path> {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return std::nullopt;
        const QString path = QFileDialog::getOpenFileName(
            nullptr, QString::fromStdString(message), QString(),
            QStringLiteral("Audio files (*.wav *.wave *.aif *.aiff *.aifc *.caf *.flac *.ogg *.oga *.mp3 *.w64 *.rf64)"));
        if (path.isEmpty()) return std::nullopt;
        return std::filesystem::path(path.toStdString());
    };
}

} // namespace veltrane
