#include "UpdateTestSupport.hpp"

#include "Veltrane/Updates/MessageBoxUpdateDialogs.hpp"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using veltrane::MessageBoxUpdateDialogs;
using veltrane::UpdateDialogs;

namespace {

// Presses a button of the message box once it is open, and notes what it showed.
struct BoxReader {
    QStringList buttons;
    QString defaultButton;
    QString text;

    void pressWhenOpen(const std::function<void(QMessageBox&)>& press)
    {
        QTimer::singleShot(0, [this, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* button : box->buttons())
                buttons << button->text().remove(QLatin1Char('&'));
            defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
            text = box->text() + " | " + box->informativeText();
            press(*box);
        });
    }
};

} // namespace

TEST(UpdateDialogs, AsksUpdateNowOrLaterAndInformsWithOK)
{
    int argc = 1;
    char name[] = "VeltraneAppTests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    MessageBoxUpdateDialogs dialogs;

    for (const auto& [pressed, choice] : {std::pair{QString("Update Now"), UpdateDialogs::Choice::updateNow},
                                          std::pair{QString("Later"), UpdateDialogs::Choice::later}}) {
        BoxReader reader;
        reader.pressWhenOpen([pressed](QMessageBox& box) {
            for (QAbstractButton* button : box.buttons())
                if (button->text() == pressed)
                    button->click();
        });
        EXPECT_EQ(dialogs.askToUpdate("A new version", "Version 2"), choice);
        EXPECT_EQ(reader.text, "A new version | Version 2");
        EXPECT_EQ(reader.defaultButton, "Update Now");
        EXPECT_EQ(reader.buttons.size(), 2);
    }

    BoxReader closed;
    closed.pressWhenOpen([](QMessageBox& box) { box.reject(); });
    EXPECT_EQ(dialogs.askToUpdate("A new version", "Version 2"), UpdateDialogs::Choice::later);

    BoxReader informed;
    informed.pressWhenOpen([](QMessageBox& box) { box.accept(); });
    dialogs.inform("You're up to date", "Veltrane 1.2 is the latest version.");
    EXPECT_EQ(informed.text, "You're up to date | Veltrane 1.2 is the latest version.");
    EXPECT_EQ(informed.buttons, QStringList{"OK"});
}
