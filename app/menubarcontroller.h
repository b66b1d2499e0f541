#pragma once

#include <QString>

#include <memory>

namespace zarvo {

class StatusItem;
class StatusItemView;

// Puts the application's icon into the tray for as long as it lives.
class MenubarController final {
public:
    // The width a status item asks the bar for, and the bar's height, in points.
    static constexpr qreal kStatusItemLength = 24.0;
    static constexpr qreal kStatusBarThickness = 22.0;

    // Shows the icon in the tray; a click on it sends "togglePanel" to the
    // application's delegate. Without a tray the icon waits for one to appear.
    // The status item is the one services().createStatusItem makes, else
    // Qt's tray icon.
    MenubarController();
    // Takes the icon out of the tray.
    ~MenubarController();
    MenubarController(const MenubarController&) = delete;
    MenubarController& operator=(const MenubarController&) = delete;

    StatusItemView* statusItemView() const { return statusItemView_.get(); }
    StatusItem* statusItem() const;

    // The icon's highlight: on while the panel is open.
    bool hasActiveIcon() const;
    void setHasActiveIcon(bool active);

    // Shows SUMMARY and BODY in the tray's own message balloon, where the
    // tray shows one; the fall-back of desktop notifications.
    void showMessage(const QString& summary, const QString& body) const;

private:
    std::unique_ptr<StatusItemView> statusItemView_;
};

} // namespace zarvo
