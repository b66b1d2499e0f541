#include "shortcut/globalshortcutrecorder.h"

#include "shortcut/globalshortcut.h"
#include "shortcut/shortcuthotkey.h"
#include "shortcut/shortcutview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace zarvo {
namespace {

DesktopKeybindingBinder& binder()
{
    static DesktopKeybindingBinder* shared = new DesktopKeybindingBinder;
    return *shared;
}

} // namespace

void setDesktopKeybindingBinder(DesktopKeybindingBinder desktopBinder)
{
    binder() = std::move(desktopBinder);
}

ShortcutView* addGlobalShortcutRecorder(QWidget* settingsWindow)
{
    if (!settingsWindow) {
        return nullptr;
    }
    auto* slot = settingsWindow->findChild<QWidget*>(QLatin1String(kShortcutRecorderSlotName));
    if (!slot) {
        return nullptr;
    }
    QLayout* layout = slot->layout();
    if (!layout) {
        layout = new QHBoxLayout(slot);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    auto* recorder = new ShortcutView(slot);
    recorder->setObjectName(QStringLiteral("shortcutRecorder"));
    recorder->setAssociatedUserDefaultsKey(globalShortcutDefaultsKey());
    layout->addWidget(recorder);
    // Beside the recorder: why the shortcut does not work, or what the
    // desktop bound it to. Follows every change.
    auto* status = new QLabel(slot);
    status->setObjectName(QLatin1String(kShortcutStatusName));
    status->setWordWrap(true);
    auto* bind = new QPushButton(shortcutText("Bind in Desktop Settings"), slot);
    bind->setObjectName(QLatin1String(kDesktopKeybindingButtonName));
    const auto showStatus = [status, bind] {
        const QString text = globalShortcutStatusText();
        status->setText(text);
        status->setVisible(!text.isEmpty());
        bind->setVisible(binder() && globalShortcutFailure() == HotKeyFailure::unsupported);
    };
    QObject::connect(bind, &QPushButton::clicked, status, [status] {
        if (binder()) {
            status->setText(binder()());
            status->setVisible(true);
        }
    });
    showStatus();
    QObject::connect(&HotKeyDispatcher::shared(), &HotKeyDispatcher::bindingChanged, status,
                     [showStatus](const QString& key) {
                         if (key == globalShortcutDefaultsKey()) {
                             showStatus();
                         }
                     });
    layout->addWidget(status);
    layout->addWidget(bind);
    const QString labelName = QLatin1String(kShortcutRecorderSlotName) + QStringLiteral("_label");
    if (auto* label = settingsWindow->findChild<QLabel*>(labelName)) {
        label->setBuddy(recorder);
        QString name = label->text();
        if (name.endsWith(QLatin1Char(':'))) {
            name.chop(1);
        }
        recorder->setAccessibleName(name);
    }
    return recorder;
}

} // namespace zarvo
