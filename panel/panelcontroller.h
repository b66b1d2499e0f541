#pragma once

#include <QObject>

namespace zarvo {

class PanelControllerDelegate;

// Owns the drop-down launcher panel. Setting hasActivePanel opens or closes
// it; every assignment is announced through hasActivePanelChanged, including
// the panel closing by itself.
class PanelController final : public QObject {
    Q_OBJECT
public:
    explicit PanelController(PanelControllerDelegate* delegate);
    ~PanelController() override;

    bool hasActivePanel() const { return hasActivePanel_; }
    void setHasActivePanel(bool active);

    PanelControllerDelegate* delegate() const { return delegate_; }

    void openCreateProject();
    void openPreferences();

Q_SIGNALS:
    void hasActivePanelChanged();

private:
    PanelControllerDelegate* delegate_;
    bool hasActivePanel_ = false;
};

} // namespace zarvo
