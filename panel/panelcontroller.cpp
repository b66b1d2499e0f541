#include "panel/panelcontroller.h"

namespace zarvo {

PanelController::PanelController(PanelControllerDelegate* delegate) : delegate_(delegate) {}

PanelController::~PanelController() = default;

void PanelController::setHasActivePanel(bool active)
{
    hasActivePanel_ = active;
    Q_EMIT hasActivePanelChanged();
}

void PanelController::openCreateProject() {}

void PanelController::openPreferences() {}

} // namespace zarvo
