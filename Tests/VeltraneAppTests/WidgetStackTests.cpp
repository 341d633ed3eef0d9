#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

namespace veltrane { QString applicationDisplayVersion(); }

// Proves the widget stack runs headless: a real window is laid out and painted offscreen.
TEST(WidgetStack, PaintsAWindowOffscreen)
{
    int argc = 1;
    char name[] = "VeltraneAppTests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* label = new QLabel(veltrane::applicationDisplayVersion());
    layout->addWidget(label);
    window.resize(320, 120);
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(label->text(), QStringLiteral("Veltrane 0.1.0"));
    const QPixmap shot = window.grab();
    EXPECT_EQ(shot.size(), QSize(320, 120));
}
