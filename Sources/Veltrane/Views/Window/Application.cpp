#include "Veltrane/Views/Window/Application.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Updates/MessageBoxUpdateDialogs.hpp"
#include "Veltrane/Updates/SelfUpdater.hpp"
#include "Veltrane/Updates/UpdateChecker.hpp"
#include "Veltrane/Updates/UpdateCommands.hpp"
#include "Veltrane/Views/AudioUnitEditors/QtAudioUnitEditorWindows.hpp"
#include "Veltrane/Views/ExportDialogs/QtExportDialogs.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Window/MainWindow.hpp"
#include "Veltrane/Views/Window/Screenshots.hpp"
#include "Veltrane/Views/Window/WindowDocumentDialogs.hpp"
#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltraneVersion.hpp"

#include <QApplication>
#include <QSettings>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <iostream>
#include <memory>

namespace veltrane {

namespace {

/// The screenshot run plays through a device that renders without a sound card, and keeps its settings
/// and autosave in a folder of its own, so neither the machine nor the user's state changes a picture.
std::unique_ptr<AppModel> makeScreenshotModel(const QTemporaryDir& folder)
{
    AppModelServices services;
    AudioEngine::Options engine;
    AudioDeviceSettings device;
    device.backend = AudioBackend::null;
    engine.device = device;
    services.audio = std::make_unique<AudioEngineControl>(std::make_unique<AudioEngine>(engine));
    services.settings = std::make_shared<QSettings>(folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    services.midiEndpointCounts = [] { return std::pair<int, int>{0, 0}; };
    return std::make_unique<AppModel>(false, std::filesystem::path(folder.filePath(QStringLiteral("Autosave.veltrane")).toStdString()),
                                      std::move(services));
}

int runScreenshots(QApplication& application, const QString& folder)
{
    QTemporaryDir state;
    auto model = makeScreenshotModel(state);
    MainWindow window(*model, MainWindowOptions{.midiSources = [] { return 0; },
                                                .settings = std::make_shared<QSettings>(
                                                    state.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat)});
    // Nobody is there to answer an alert: it is written to the log instead of waiting.
    window.presentError = [](const QString& message) { std::cerr << "Veltrane: " << message.toStdString() << '\n'; };
    window.presentRecovery = [] {};
    window.resize(1440, 900);
    window.show();
    prepareScreenshotScene(window);
    int status = 1;
    const auto expected = static_cast<int>(screenshotPlan().size());
    takeScreenshots(window, folder, 700, [&](int written) {
        status = written == expected ? 0 : 1;
        model->stop();
        // The pictures may have edited the document; leaving must not stop to ask about saving it.
        application.exit(status);
    });
    application.exec();
    return status;
}

} // namespace

void configureApplicationNames()
{
    QCoreApplication::setApplicationName(QStringLiteral("Veltrane"));
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrane"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(kVeltraneVersion));
}

void configureApplication(QApplication& application)
{
    configureApplicationNames();
    QApplication::setDesktopFileName(QStringLiteral("veltrane"));
    if (auto* style = QStyleFactory::create(QStringLiteral("Fusion"))) application.setStyle(style);
    application.setPalette(Theme::current().palette());
}

int runApplication(QApplication& application, const ApplicationOptions& options)
{
    if (options.screenshotFolder) return runScreenshots(application, *options.screenshotFolder);

    // The updater's parts outlive the model, whose update commands refer to them.
    QSettings updateSettings;
    UpdateChecker checker;
    SelfUpdater installer;

    auto dialogs = std::make_shared<WindowDocumentDialogs>();
    auto exportDialogs = std::make_shared<QtExportDialogs>();
    AppModelServices services;
    services.dialogs = dialogs;
    services.exportDialogs = exportDialogs;
    services.audioUnitEditors = std::make_shared<QtAudioUnitEditorWindows>();
    AppModel model(true, std::nullopt, std::move(services));
    MainWindow window(model, MainWindowOptions{.helpOnFirstLaunch = true});
    dialogs->setWindow(&window);
    exportDialogs->setWindow(&window);
    window.show();

    model.setUpdateCommands(std::make_unique<UpdateCommands>(
        UpdateCommands::Services{
            .checker = checker,
            .installer = installer,
            .dialogs = std::make_shared<MessageBoxUpdateDialogs>(&window),
            .settings = updateSettings,
            .isBusy = [&model] { return model.isBusy(); },
            .quitApplication = [&window] { window.close(); },
        },
        model.version()));

    if (options.projectPath) {
        const std::filesystem::path path = options.projectPath->toStdString();
        QTimer::singleShot(0, &window, [&window, path] { window.openDocument(path); });
    }
    return application.exec();
}

} // namespace veltrane
