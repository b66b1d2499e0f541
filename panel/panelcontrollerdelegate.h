#pragma once

namespace zarvo {

class PanelController;
class StatusItemView;

// How the panel controller finds the tray icon it hangs from.
class PanelControllerDelegate {
public:
    virtual ~PanelControllerDelegate() = default;
    virtual StatusItemView* statusItemViewForPanelController(PanelController* controller) = 0;
};

} // namespace zarvo
