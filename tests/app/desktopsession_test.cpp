// Which Qt platform and which hot key backend a desktop session gets.
#include "app/desktopsession.h"

#include <gtest/gtest.h>

namespace zarvo {
namespace {

TEST(DesktopSessionTest, QtPlatformAndHotKeyBackendForEachSession)
{
    struct Row {
        const char* name;
        DesktopSession session;
        bool onX11;
        bool portalOffers;
        QByteArray platform;
        HotKeyBackend backend;
        bool problem;
    } rows[] = {
        {"X11 session", {false, true, "", ""}, true, true, "", HotKeyBackend::x11, false},
        {"Wayland with Xwayland and the portal",
         {true, true, "", ""},
         true,
         true,
         "xcb",
         HotKeyBackend::portal,
         false},
        {"Wayland without GlobalShortcuts",
         {true, true, "", ""},
         true,
         false,
         "xcb",
         HotKeyBackend::none,
         false},
        {"Wayland without an X display",
         {true, false, "", ""},
         false,
         true,
         "",
         HotKeyBackend::portal,
         false},
        {"the user's platform wins",
         {true, true, "wayland", ""},
         false,
         true,
         "",
         HotKeyBackend::portal,
         false},
        {"no display at all",
         {false, false, "offscreen", ""},
         false,
         true,
         "",
         HotKeyBackend::none,
         false},
        {"forced x11 in Wayland",
         {true, true, "", "x11"},
         true,
         true,
         "xcb",
         HotKeyBackend::x11,
         false},
        {"forced portal on X11",
         {false, true, "", "Portal"},
         true,
         false,
         "",
         HotKeyBackend::portal,
         false},
        {"forced none", {false, true, "", "none"}, true, true, "", HotKeyBackend::none, false},
        {"an unknown name is ignored",
         {false, true, "", "kwin"},
         true,
         true,
         "",
         HotKeyBackend::x11,
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(qtPlatformForSession(row.session), row.platform);
        int asked = 0;
        QString problem;
        const HotKeyBackend backend = chooseHotKeyBackend(
            row.session, row.onX11,
            [&] {
                ++asked;
                return row.portalOffers;
            },
            &problem);
        EXPECT_EQ(backend, row.backend);
        EXPECT_EQ(!problem.isEmpty(), row.problem) << problem.toStdString();
        EXPECT_LE(asked, row.session.wayland && row.session.hotKeyBackend.isEmpty() ? 1 : 0)
            << "the portal is asked only when the choice depends on it";
    }
}

} // namespace
} // namespace zarvo
