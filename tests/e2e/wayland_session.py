#!/usr/bin/env python3
"""A Wayland session end to end: headless weston with Xwayland.

The launcher is started with WAYLAND_DISPLAY set and no QT_QPA_PLATFORM: it
must choose Xwayland, and without a portal no hot key backend. `zarvo
toggle`, run with an activation token as a desktop runs it, opens the panel,
whose window carries the token; a second one closes it. (Headless weston has
no seat to give a window the focus, and its Xwayland crashes on xdotool's
synthetic pointer input, so typing is not tried here.)

    wayland_session.py --zarvo BUILD/zarvo --artefacts BUILD/e2e-artefacts [--keep]

Exit status: 0 passed, 1 failed, 77 skipped (weston, Xwayland or a tool is
missing, or weston cannot start here).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import session as e2e  # noqa: E402

SOCKET = "zarvo-e2e-wayland"
TOKEN = "zarvo-e2e-token_TIME42"


class WaylandSession(e2e.Session):
    def environment(self):
        env = super().environment()
        env.pop("QT_QPA_PLATFORM", None)
        env.pop("XDG_SESSION_TYPE", None)
        env.pop("ZARVO_HOTKEY_BACKEND", None)
        # No portal here: without a session bus there is no hot key backend.
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        env["WAYLAND_DISPLAY"] = SOCKET
        return env

    def start_weston(self):
        for tool in ("weston", "Xwayland", "xdotool", "xprop", "xwininfo"):
            if not shutil.which(tool):
                raise e2e.Skip("%s is not installed" % tool)
        log = self.path("weston.log")
        # Runs as root too (sway does not).
        weston = self.start(["weston", "--backend=headless-backend.so", "--xwayland",
                             "--socket=" + SOCKET, "--idle-time=0", "--log=" + log],
                            "weston.txt")

        def display():
            if weston.poll() is not None:
                raise e2e.Skip("weston exited with %d (see weston.txt)" % weston.returncode)
            try:
                with open(log) as f:
                    match = re.search(r"xserver listening on display (:\d+)", f.read())
            except FileNotFoundError:
                return None
            return match.group(1) if match else None

        self.display = e2e.wait_for("weston's Xwayland display", display)

    def visible_panel(self):
        """The panel's window id once it is on screen. weston frames the
        windows it manages, so the panel is no child of the root here."""
        found = self.run("xdotool", "search", "--onlyvisible", "--class", "zarvo",
                         check_status=False)
        for window in found.split():
            if self.run("xdotool", "getwindowname", window, check_status=False).strip() == "Zarvo":
                return int(window)
        return None

    def log_says(self, text):
        with open(os.path.join(self.artefacts, "zarvo-wayland.log")) as f:
            return text in f.read()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--zarvo", required=True, help="the zarvo executable")
    parser.add_argument("--artefacts", required=True, help="where the logs go")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    options = parser.parse_args()
    os.makedirs(options.artefacts, exist_ok=True)

    s = WaylandSession(options.zarvo, options.artefacts, options.keep)
    try:
        s.prepare()
        s.start_weston()
        print("weston with Xwayland on %s" % s.display)
        s.app = s.start([s.zarvo], "zarvo-wayland.log")
        e2e.wait_for("the launcher to be ready", lambda: s.log_says("Ready"))
        e2e.check(s.log_says("Wayland session: running on Xwayland"),
                  "the launcher did not choose Xwayland")
        e2e.check(s.log_says("Global shortcut: none"), "a hot key backend without a portal")

        env = s.environment()
        env["XDG_ACTIVATION_TOKEN"] = TOKEN
        subprocess.run([s.zarvo, "toggle"], env=env, check=True, timeout=60,
                       capture_output=True)
        panel = e2e.wait_for("the panel on Xwayland", s.visible_panel)
        e2e.check(TOKEN in s.run("xprop", "-id", str(panel), "_NET_STARTUP_ID"),
                  "the panel's window lacks the activation token")

        # A second toggle closes it again.
        subprocess.run([s.zarvo, "toggle"], env=env, check=True, timeout=60,
                       capture_output=True)
        e2e.wait_for("the panel to close", lambda: not s.visible_panel())
    except e2e.Skip as skip:
        print("SKIPPED: %s" % skip)
        return e2e.SKIPPED
    except e2e.Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        s.close()
    print("PASSED  a Wayland session: Xwayland, zarvo toggle with a token")
    return 0


if __name__ == "__main__":
    sys.exit(main())
