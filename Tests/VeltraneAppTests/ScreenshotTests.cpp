#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Window/Screenshots.hpp"

#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

/// Distinct colours in a sample of the picture: a blank or single-colour grab has one or two.
int distinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 5) colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

} // namespace

TEST(Screenshots, FileNamesCarryThePixelRatio)
{
    EXPECT_EQ(screenshotFileName("main-window", 1.0), "main-window.png");
    EXPECT_EQ(screenshotFileName("main-window", 2.0), "main-window@2x.png");
    EXPECT_FALSE(screenshotPlan().empty());
    EXPECT_EQ(screenshotPlan().front().name, "main-window");
}

// The application itself takes the pictures, on the offscreen platform, at 1x and at 2x.
TEST(Screenshots, TheApplicationSavesPicturesOfItsWindowThatAreNotBlank)
{
    for (const int ratio : {1, 2}) {
        QTemporaryDir folder;
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("QT_SCALE_FACTOR", QString::number(ratio));
        environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
        environment.insert("XDG_DATA_HOME", folder.filePath("data"));
        run.setProcessEnvironment(environment);
        run.start(VELTRANE_EXECUTABLE, {"--screenshots", folder.filePath("shots")});
        ASSERT_TRUE(run.waitForFinished(120'000));
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
        for (const auto& shot : screenshotPlan()) {
            const QString path = folder.filePath("shots/" + screenshotFileName(shot.name, ratio));
            const QImage image(path);
            ASSERT_FALSE(image.isNull()) << path.toStdString();
            // Pictures of the main window show all of it; a sheet or the settings window is smaller.
            const QSize least = shot.subject ? QSize(400, 100) : QSize(1040, 650);
            EXPECT_GE(image.width(), least.width() * ratio) << path.toStdString();
            EXPECT_GE(image.height(), least.height() * ratio) << path.toStdString();
            EXPECT_GT(distinctColours(image), 40) << path.toStdString() << " looks blank";
        }
    }
}
