#include "panel/fileopenpanel.h"

#include "support/wait.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <optional>

namespace zarvo {
namespace {

const OpenPanelOptions kFolderOrFile{true, true, true};

// A folder with a sub-folder and a file in it.
class FolderOrFileDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(root.path()).mkdir(QStringLiteral("project")));
        QFile file(root.filePath(QStringLiteral("Tool.pro")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QString folder() const { return root.filePath(QStringLiteral("project")); }
    QString file() const { return root.filePath(QStringLiteral("Tool.pro")); }

    QTemporaryDir root;
};

TEST_F(FolderOrFileDialogTest, TakesAFile)
{
    FolderOrFileDialog dialog(nullptr, kFolderOrFile);
    dialog.setDirectory(root.path());
    dialog.selectFile(file());
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosenPaths(), QStringList{file()});
}

TEST_F(FolderOrFileDialogTest, TakesAFolderInsteadOfGoingIntoIt)
{
    FolderOrFileDialog dialog(nullptr, kFolderOrFile);
    dialog.setDirectory(root.path());
    dialog.selectFile(folder());
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosenPaths(), QStringList{folder()});
}

TEST_F(FolderOrFileDialogTest, WithFilesOnlyAFolderIsEntered)
{
    FolderOrFileDialog dialog(nullptr, {true, false, false});
    dialog.setDirectory(root.path());
    dialog.selectFile(folder());
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(QDir(dialog.directory()).canonicalPath(), QDir(folder()).canonicalPath());
}

TEST_F(FolderOrFileDialogTest, MayCreateFoldersOnlyWhenAllowed)
{
    EXPECT_FALSE(FolderOrFileDialog(nullptr, kFolderOrFile).testOption(QFileDialog::ReadOnly));
    EXPECT_TRUE(FolderOrFileDialog(nullptr, {true, true, false}).testOption(QFileDialog::ReadOnly));
}

TEST_F(FolderOrFileDialogTest, ThePanelAnswersLaterWithOkAndThePath)
{
    QWidget form;
    form.show();
    FileOpenPanel panel;
    std::optional<int> result;
    QStringList paths;
    panel.beginWithCompletionHandler(&form, kFolderOrFile, [&](int r, const QStringList& p) {
        result = r;
        paths = p;
    });
    auto* dialog = form.findChild<FolderOrFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible()) << "shown without blocking";
    EXPECT_FALSE(result.has_value());

    dialog->setDirectory(root.path());
    dialog->selectFile(file());
    dialog->accept();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(paths, QStringList{file()});
    EXPECT_TRUE(test::waitUntil([&] { return form.findChild<FolderOrFileDialog*>() == nullptr; }))
        << "the dialog goes away once done";
}

TEST_F(FolderOrFileDialogTest, ThePanelAnswersCancelWithNoPath)
{
    QWidget form;
    form.show();
    FileOpenPanel panel;
    std::optional<int> result;
    QStringList paths{QStringLiteral("unchanged")};
    panel.beginWithCompletionHandler(&form, kFolderOrFile, [&](int r, const QStringList& p) {
        result = r;
        paths = p;
    });
    auto* dialog = form.findChild<FolderOrFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(file());
    dialog->reject();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(paths.isEmpty());
}

} // namespace
} // namespace zarvo
