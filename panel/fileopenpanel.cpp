#include "panel/fileopenpanel.h"

#include <QDir>
#include <QFileInfo>

namespace zarvo {

FolderOrFileDialog::FolderOrFileDialog(QWidget* parent, const OpenPanelOptions& options)
    : QFileDialog(parent), canChooseDirectories_(options.canChooseDirectories)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    if (options.canChooseFiles) {
        setFileMode(QFileDialog::ExistingFile);
    } else {
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly);
    }
    // Without it the dialog offers "New Folder", renaming and deleting.
    setOption(QFileDialog::ReadOnly, !options.canCreateDirectories);
    if (!options.directory.isEmpty()) {
        setDirectory(options.directory);
    }
}

void FolderOrFileDialog::accept()
{
    QStringList selected;
    for (const QString& path : selectedFiles()) {
        selected.append(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    }
    // Read once the dialog is done, which QFileDialog::accept() may already be.
    chosen_ = selected;
    if (canChooseDirectories_ && fileMode() == QFileDialog::ExistingFile && selected.size() == 1 &&
        QFileInfo(selected.first()).isDir()) {
        QDialog::accept();
        return;
    }
    // A file: the dialog checks that it exists before it accepts.
    QFileDialog::accept();
}

void FileOpenPanel::beginWithCompletionHandler(QWidget* parent, const OpenPanelOptions& options,
                                               Completion completion)
{
    auto* dialog = new FolderOrFileDialog(parent, options);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, completion = std::move(completion)](int result) {
                         if (result == QDialog::Accepted) {
                             completion(modal_response::ok, dialog->chosenPaths());
                         } else {
                             completion(modal_response::cancel, {});
                         }
                     });
    dialog->open();
}

} // namespace zarvo
