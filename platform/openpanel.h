#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace zarvo {

// What the user may do in an open panel.
struct OpenPanelOptions {
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool canCreateDirectories = false;
    // The folder the panel shows first; empty for the panel's own choice.
    QString directory = {};
};

// The results an open panel ends with.
namespace modal_response {
inline constexpr int cancel = 0;
inline constexpr int ok = 1;
} // namespace modal_response

// Lets the user choose one file-system item in a window of its own. The
// desktop's is panel/fileopenpanel.h; tests install one that answers by
// program (services().openPanel).
class OpenPanel {
public:
    // The result (modal_response::ok, or anything else for a cancel) and the
    // chosen items' absolute paths, empty unless the result is OK.
    using Completion = std::function<void(int result, const QStringList& paths)>;

    virtual ~OpenPanel() = default;
    // Shows the panel over PARENT's window and returns at once; COMPLETION
    // runs once, later, on the main thread.
    virtual void beginWithCompletionHandler(QWidget* parent, const OpenPanelOptions& options,
                                            Completion completion) = 0;
};

} // namespace zarvo
