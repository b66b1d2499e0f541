#pragma once

#include <QUrl>

namespace zarvo {

// Shows a web page or a local file in the user's browser. Without one
// installed (services().urlOpener), the desktop's default handler is used.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Whether the page could be handed over; callers do not report a failure.
    virtual bool openUrl(const QUrl& url) = 0;
};

} // namespace zarvo
