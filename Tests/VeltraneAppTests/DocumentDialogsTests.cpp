// The document prompts as Qt dialogs, driven as a user would: a button pressed, a file chosen.

#include "../VeltranePlatformTests/AudioFileTestSupport.hpp"

#include "Veltrane/Views/QtDocumentDialogs.hpp"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <fstream>

#include <gtest/gtest.h>

using namespace veltrane;

namespace {

/// Runs `act` on the modal dialog of type T once it is open.
template <typename T>
void whenOpen(std::function<void(T&)> act)
{
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

const UnsavedChangesAlert alert{
    .messageText = "Save changes to Song?",
    .informativeText = "Your changes will be lost if you don\u2019t save them.",
    .buttons = {"Save", "Cancel", "Don\u2019t Save"},
};

} // namespace

TEST(DocumentDialogs, TheUnsavedChangesAlertAnswersByItsButtons)
{
    int argc = 1;
    char name[] = "VeltraneAppTests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QtDocumentDialogs dialogs;

    for (const auto& [pressed, choice] : {std::pair{QString("Save"), UnsavedChangesChoice::save},
                                          std::pair{QString("Cancel"), UnsavedChangesChoice::cancel},
                                          std::pair{QString("Don\u2019t Save"), UnsavedChangesChoice::dontSave}}) {
        QStringList shown;
        whenOpen<QMessageBox>([&shown, pressed](QMessageBox& box) {
            shown << box.text() << box.informativeText() << box.defaultButton()->text();
            for (QAbstractButton* button : box.buttons()) {
                shown << button->text();
                if (button->text() == pressed) button->click();
            }
        });
        EXPECT_EQ(dialogs.askAboutUnsavedChanges(alert), choice) << pressed.toStdString();
        ASSERT_EQ(shown.size(), 6);
        EXPECT_EQ(shown[0], "Save changes to Song?");
        EXPECT_EQ(shown[1], QString::fromUtf8("Your changes will be lost if you don\u2019t save them."));
        EXPECT_EQ(shown[2], "Save");
    }
    whenOpen<QMessageBox>([](QMessageBox& box) { box.reject(); }); // Escape
    EXPECT_EQ(dialogs.askAboutUnsavedChanges(alert), UnsavedChangesChoice::cancel);
}

TEST(DocumentDialogs, TheFilePanelsGiveTheChosenFileOrNothing)
{
    int argc = 1;
    char name[] = "VeltraneAppTests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    veltrane::testing::TemporaryFolder folder;
    QtDocumentDialogs dialogs;
    dialogs.useNativeFileDialogs = false;

    QString suggested;
    whenOpen<QFileDialog>([&](QFileDialog& dialog) {
        suggested = dialog.selectedFiles().value(0);
        dialog.setDirectory(QString::fromStdString(folder.path().string()));
        dialog.selectFile(QStringLiteral("Song"));
        static_cast<QDialog&>(dialog).accept(); // the file dialog's own accept, reached as a user would
    });
    const auto saved = dialogs.chooseSaveLocation("Untitled.veltrane");
    EXPECT_TRUE(suggested.endsWith("Untitled.veltrane")) << suggested.toStdString();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->filename(), "Song.veltrane"); // the project type's extension is added

    whenOpen<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(dialogs.chooseSaveLocation("Untitled.veltrane"));

    const auto existing = folder / "Old.json";
    { std::ofstream(existing) << "{}"; }
    whenOpen<QFileDialog>([&](QFileDialog& dialog) {
        dialog.setDirectory(QString::fromStdString(folder.path().string()));
        dialog.selectFile(QString::fromStdString(existing.string()));
        static_cast<QDialog&>(dialog).accept(); // the file dialog's own accept, reached as a user would
    });
    EXPECT_EQ(dialogs.chooseProjectToOpen(), existing);
}
