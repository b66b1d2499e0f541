#pragma once

#include "platform/openpanel.h"

#include <QFileDialog>
#include <QStringList>

namespace zarvo {

// A file dialog that can also choose a folder where it may choose files.
//
// Qt's dialog has no mode that takes a folder or a file: in ExistingFile mode
// "Open" on a selected folder goes into it, in Directory mode files cannot be
// chosen. This one runs in ExistingFile mode and, when folders may be chosen
// too, takes a selected or typed folder instead of going into it. A double
// click still goes into a folder. It is Qt's own dialog, not the desktop's,
// because only that one can be told to do this.
class FolderOrFileDialog final : public QFileDialog {
    Q_OBJECT
public:
    FolderOrFileDialog(QWidget* parent, const OpenPanelOptions& options);

    // The items chosen by the last accept, absolute and clean.
    QStringList chosenPaths() const { return chosen_; }

public Q_SLOTS:
    void accept() override;

private:
    bool canChooseDirectories_ = false;
    QStringList chosen_;
};

// The desktop's open panel: a FolderOrFileDialog, window-modal to its parent
// window, deleted once it is done.
class FileOpenPanel final : public OpenPanel {
public:
    void beginWithCompletionHandler(QWidget* parent, const OpenPanelOptions& options,
                                    Completion completion) override;
};

} // namespace zarvo
