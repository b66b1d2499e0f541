#include "panel/firstrunhint.h"

#include "panel/backgroundview.h"
#include "panel/panel.h"
#include "panel/panelcontroller.h"
#include "panel/panelgeometry.h"
#include "panel/projectsearch.h"
#include "projects/projectstore.h"

#include <QEvent>
#include <QLabel>

namespace zarvo {
namespace {

bool gEnabled = false;

// Any search text that is not empty: the layout only tells the empty text
// (the opening height) from the others.
const QString kSomeText = QStringLiteral("?");

// Left and right of the words inside the list area.
constexpr int kSideMargin = 14;

// Hides the hint whenever the panel leaves the screen, so that a panel that
// opens again never shows a stale hint while it grows.
class HideWithPanel final : public QObject {
public:
    explicit HideWithPanel(QLabel* label) : QObject(label), label_(label) {}

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Hide) {
            label_->hide();
        }
        return false;
    }

private:
    QLabel* label_;
};

QLabel* makeLabel(PanelController& controller)
{
    auto* label = new QLabel(first_run_hint::text(), controller.backgroundView());
    label->setObjectName(QLatin1String(first_run_hint::kObjectName));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setContentsMargins(kSideMargin, 0, kSideMargin, 0);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setStyleSheet(
        QStringLiteral("QLabel { color: rgba(255, 255, 255, 200); background: transparent; }"));
    controller.window()->installEventFilter(new HideWithPanel(label));
    return label;
}

} // namespace

QString first_run_hint::text()
{
    return QStringLiteral("No projects yet.\n"
                          "Add one with the + button below,\n"
                          "or run: zarvo add NAME FOLDER");
}

void setFirstRunHintEnabled(bool enabled)
{
    gEnabled = enabled;
}

bool firstRunHintEnabled()
{
    return gEnabled;
}

QLabel* firstRunHintLabel(const PanelController& controller)
{
    return controller.backgroundView()->findChild<QLabel*>(
        QLatin1String(first_run_hint::kObjectName), Qt::FindDirectChildrenOnly);
}

void updateFirstRunHint(PanelController& controller)
{
    QLabel* label = firstRunHintLabel(controller);
    const bool wanted = gEnabled && controller.hasActivePanel() &&
                        controller.window()->isVisible() && !controller.scrollView()->isVisible() &&
                        ProjectStore::projectNames().isEmpty();
    if (!wanted) {
        if (label) {
            label->hide();
        }
        return;
    }
    if (!label) {
        label = makeLabel(controller);
    }
    const SearchLayout layout = controller.searchLayoutFor(kSomeText, first_run_hint::kRows);
    controller.setWindowFrame(*layout.panelFrame);
    label->setGeometry(
        panel_geometry::flipInParent(layout.listArea, layout.panelFrame->height()).toRect());
    label->show();
    label->raise();
}

} // namespace zarvo
