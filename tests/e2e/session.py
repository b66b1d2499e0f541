#!/usr/bin/env python3
"""The desktop end to end: one scripted session on an X server of its own.

Xvfb (1440x900) with trayer as the tray, the zarvo executable started with
its own resource folder, configuration, runtime folder and a stand-in
terminal, driven with xdotool and watched with xwininfo. Each scenario polls
for what it expects until a deadline; nothing sleeps for a fixed time (the
one check that something does NOT happen watches for 1.5 s).

    session.py --zarvo BUILD/zarvo --artefacts BUILD/e2e-artefacts
               [--keep] [--only REGEX] [--tray-edge bottom] [--scale 2]

With --tray-edge bottom trayer sits along the bottom of the screen, with
--scale Qt draws at that scale factor (QT_SCALE_FACTOR); either runs the
scenarios of where the panel goes, instead of the whole session.

Screenshots of the panel and the forms go to the artefacts folder, with the
application's log. Exit status: 0 passed, 1 failed, 77 skipped (a tool is
missing).
"""

import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

SKIPPED = 77
SCREEN = (1440, 900)
# Long enough for a loaded machine and a sanitizer build.
DEADLINE = 20.0
POLL = 0.05

# The panel's geometry (see panel/panelgeometry.h and panel/projectsearch.h).
PANEL_WIDTH = 280
OPENING_HEIGHT = 98
HEIGHT_PER_MATCH = 35
HEIGHT_AROUND_ROWS = 90
LIST_TOP_GAP = 54
# The rows' room the first-run hint takes (panel/firstrunhint.h).
FIRST_RUN_HINT_ROWS = 2
# Where trayer puts itself: at the top, this far from the right edge, so the
# panel hangs centred under the icon instead of being pushed left.
TRAY_MARGIN = 300

# A project's commands: where they ran, and the commit the pull brought.
# (A launch turns double quotes into single ones.)
PROJECT_COMMANDS = "pwd > ../ran-alpine-tools.txt; git log -1 --format=%s >> ../ran-alpine-tools.txt"


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def wait_for(what, probe, timeout=DEADLINE):
    """Polls PROBE until it answers something true; that answer."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(POLL)


def check(condition, message):
    if not condition:
        raise Failure(message)


class Window:
    LINE = re.compile(
        r'^(?P<indent>\s*)(?P<id>0x[0-9a-f]+) (?P<name>.*?): \((?P<cls>.*?)\)\s+'
        r'(?P<w>\d+)x(?P<h>\d+)\+-?\d+\+-?\d+\s+\+(?P<x>-?\d+)\+(?P<y>-?\d+)')

    def __init__(self, match):
        self.id = match["id"]
        self.name = match["name"]
        self.cls = match["cls"]
        self.depth = len(match["indent"])
        self.x, self.y = int(match["x"]), int(match["y"])
        self.w, self.h = int(match["w"]), int(match["h"])

    @property
    def rect(self):
        return (self.x, self.y, self.w, self.h)

    def __repr__(self):
        return "%s %s (%s) %dx%d+%d+%d" % (self.id, self.name, self.cls, self.w, self.h, self.x,
                                           self.y)


class Session:
    def __init__(self, zarvo, artefacts, keep, only=None, tray_edge="top", scale=1):
        self.only = re.compile(only) if only else None
        self.tray_edge = tray_edge
        self.scale = scale
        self.zarvo = os.path.abspath(zarvo)
        self.artefacts = artefacts
        self.keep = keep
        self.processes = []
        self.root = tempfile.mkdtemp(prefix="zarvo-e2e-")
        self.display = None
        self.app = None
        self.launch_count = 0
        self.results = []
        self.tray_icon = None
        # The global shortcut, as xdotool names it.
        self.hot_key = "ctrl+alt+super+k"

    # ---- processes ------------------------------------------------------

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def environment(self):
        env = dict(os.environ)
        env.update({
            "DISPLAY": self.display or "",
            "QT_QPA_PLATFORM": "xcb",
            "HOME": self.path("home"),
            "XDG_CONFIG_HOME": self.path("config"),
            "XDG_RUNTIME_DIR": self.path("runtime"),
            "XDG_DATA_HOME": self.path("data"),
            "ZARVO_RESOURCES": self.path("resources"),
            "ZARVO_TERMINAL": self.path("bin", "stand-in-terminal"),
            "ZARVO_E2E_ROOT": self.root,
            "PATH": self.path("bin") + os.pathsep + env.get("PATH", ""),
            "SHELL": self.path("bin", "user-shell"),
            "GIT_CONFIG_NOSYSTEM": "1",
            "LANG": "C.UTF-8",
            # WORKAROUND: fontconfig's cache and the xcb platform's D-Bus
            # connection are never freed; a sanitizer build's leak check would
            # otherwise fail the launcher's exit. No effect on other builds.
            "LSAN_OPTIONS": ":".join(filter(None, [
                env.get("LSAN_OPTIONS"), "suppressions=" + os.path.join(
                    os.path.dirname(os.path.abspath(__file__)), os.pardir, "sanitizer",
                    "lsan.supp")])),
        })
        env.pop("WAYLAND_DISPLAY", None)
        if self.scale != 1:
            env["QT_SCALE_FACTOR"] = str(self.scale)
        return env

    def run(self, *args, check_status=True):
        result = subprocess.run(args, env=self.environment(), capture_output=True, text=True,
                                timeout=60)
        if check_status and result.returncode != 0:
            raise Failure("%s exited with %d: %s" % (" ".join(args), result.returncode,
                                                       result.stderr.strip()))
        return result.stdout

    def start(self, args, log_name):
        log = open(os.path.join(self.artefacts, log_name), "w")
        process = subprocess.Popen(args, env=self.environment(), stdout=log,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.processes.append(process)
        return process

    def stop(self, process):
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def close(self):
        for process in reversed(self.processes):
            self.stop(process)
        if self.keep:
            print("kept %s" % self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    # ---- the fixture ----------------------------------------------------

    def write(self, relative, text, mode=0o644):
        path = self.path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, mode)
        return path

    def prepare(self):
        for sub in ("home", "config", "data", "resources", "launches", "projects"):
            os.makedirs(self.path(sub))
        os.makedirs(self.path("runtime"), mode=0o700)
        # The terminal a launch opens: notes where it started and the program
        # it was given, then runs that program with its input at end of file
        # (so the user's shell it ends in exits at once).
        self.write("bin/stand-in-terminal", """#!/bin/sh
record="$ZARVO_E2E_ROOT/launches/$(date +%s%N)-$$"
for program; do :; done
{
    echo "cwd: $(pwd)"
    echo "program: $program"
    cat -- "$program"
} > "$record.part"
"$@" < /dev/null > "$record.output" 2>&1
echo "exit: $?" >> "$record.output"
mv "$record.part" "$record.txt"
""", 0o755)
        self.write("bin/user-shell", "#!/bin/sh\nexit 0\n", 0o755)
        self.write("bin/editor-stub", '#!/bin/sh\nprintf "%s\\n" "$PWD" "$@" > '
                   '"$ZARVO_E2E_ROOT/editor-$(basename "$PWD").txt"\n', 0o755)
        self.write("bin/xdg-open", "#!/bin/sh\nexit 0\n", 0o755)
        self.write("bin/clear", "#!/bin/sh\nexit 0\n", 0o755)

    def git(self, folder, *args):
        subprocess.run(("git", "-c", "user.name=Zarvo Test", "-c", "user.email=e2e@localhost",
                        "-c", "init.defaultBranch=main") + args,
                       cwd=folder, env=self.environment(), check=True, capture_output=True)

    def git_project(self, name):
        """A clone of a fresh origin that is one commit behind it."""
        origin = self.path("projects", name + ".git")
        other = self.path("projects", name + "-other")
        work = self.path("projects", name)
        self.git(self.root, "init", "-q", "--bare", origin)
        self.git(self.root, "clone", "-q", "file://" + origin, other)
        for message in ("First commit", "Pulled commit"):
            with open(os.path.join(other, message.split()[0]), "w") as f:
                f.write(message)
            self.git(other, "add", ".")
            self.git(other, "commit", "-q", "-m", message)
            self.git(other, "push", "-q", "origin", "HEAD")
            if message == "First commit":
                self.git(self.root, "clone", "-q", "file://" + origin, work)
        return work

    def plain_project(self, name):
        folder = self.path("projects", name)
        os.makedirs(folder)
        return folder

    # ---- the X session --------------------------------------------------

    def start_x(self):
        for tool in ("Xvfb", "trayer", "xdotool", "xwininfo", "git"):
            if not shutil.which(tool):
                raise Skip("%s is not installed" % tool)
        read_end, write_end = os.pipe()
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0",
             "%dx%dx24" % SCREEN], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.artefacts, "xvfb.log"), "w"))
        self.processes.append(server)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + DEADLINE
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.endswith(b"\n"):
            raise Skip("Xvfb did not start")
        self.display = ":" + number.decode().strip()

        self.start(["trayer", "--edge", self.tray_edge, "--align", "right",
                    "--margin", str(TRAY_MARGIN),
                    "--widthtype", "pixel", "--width", "60", "--height", "22",
                    "--SetDockType", "true", "--transparent", "false"], "trayer.log")
        wait_for("trayer's panel", lambda: self.find(lambda w: w.cls == '"panel" "trayer"'))

    def xdotool(self, *args):
        return self.run("xdotool", *args)

    def windows(self):
        tree = self.run("xwininfo", "-root", "-tree")
        found = []
        for line in tree.splitlines():
            match = Window.LINE.match(line)
            if match:
                found.append(Window(match))
        # The root's children are the least indented.
        top = min((w.depth for w in found), default=0)
        for window in found:
            window.toplevel = window.depth == top
        return found

    def find(self, predicate):
        for window in self.windows():
            if predicate(window):
                return window
        return None

    def is_mapped(self, window_id):
        info = self.run("xwininfo", "-id", window_id, check_status=False)
        return "Map State: IsViewable" in info

    def root_window(self):
        info = self.run("xwininfo", "-root")
        return int(re.search(r"Window id: (0x[0-9a-f]+)", info).group(1), 16)

    def focused_window(self):
        return int(self.xdotool("getwindowfocus").strip() or 0)

    def click(self, x, y):
        self.xdotool("mousemove", str(int(x)), str(int(y)), "click", "1")

    def key(self, *keys):
        self.xdotool("key", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "40", text)

    def screenshot(self, name, rect=None):
        if not shutil.which("import"):
            print("  (no screenshot %s: ImageMagick's import is not installed)" % name)
            return None
        target = os.path.join(self.artefacts, name)
        args = ["import", "-display", self.display, "-window", "root"]
        if rect:
            x, y, w, h = rect
            x, y = max(0, x), max(0, y)
            args += ["-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage"]
        subprocess.run(args + [target], check=True, timeout=60, capture_output=True)
        print("  screenshot %s" % target)
        return target

    @staticmethod
    def pixel(image, x, y):
        """The colour at X, Y of IMAGE as (r, g, b), 0..255."""
        out = subprocess.run(["convert", image, "-crop", "1x1+%d+%d" % (x, y), "-depth", "8",
                              "txt:-"], check=True, capture_output=True, text=True).stdout
        match = re.search(r"\((\d+),(\d+),(\d+)", out.splitlines()[-1])
        return tuple(int(v) for v in match.groups())

    # ---- the application ------------------------------------------------

    def start_app(self):
        self.app = self.start([self.zarvo], "zarvo.log")
        self.tray_icon = wait_for("the tray icon in trayer", self.find_tray_icon)
        print("  tray icon at %dx%d+%d+%d" % (self.tray_icon.w, self.tray_icon.h,
                                             self.tray_icon.x, self.tray_icon.y))

    def find_tray_icon(self):
        tray = self.find(lambda w: w.cls == '"panel" "trayer"')
        if not tray:
            return None
        tx, ty, tw, th = tray.rect
        icon = self.find(lambda w: w.cls == '"zarvo" "zarvo"' and w.depth > tray.depth and
                         tx <= w.x < tx + tw and ty <= w.y < ty + th and w.w > 1)
        return icon if icon and self.is_mapped(icon.id) else None

    def panel(self):
        return self.find(lambda w: w.cls == '"zarvo" "zarvo"' and w.name == '"Zarvo"' and
                         w.toplevel)

    def open_panel_window(self):
        panel = self.panel()
        return panel if panel and self.is_mapped(panel.id) else None

    def wait_panel_open(self, height=OPENING_HEIGHT):
        """Waits until the panel is on screen (at HEIGHT) and has the keyboard."""
        panel = wait_for("the panel to open", self.open_panel_window)
        if height:
            self.wait_panel_height(height, "the panel to open")
        wait_for("the panel to have the keyboard focus",
                 lambda: self.focused_window() == int(panel.id, 16))
        return self.panel()

    def wait_panel_closed(self, timeout=DEADLINE):
        wait_for("the panel to close", lambda: not self.open_panel_window(), timeout)

    def wait_panel_height(self, height, what):
        def probe():
            panel = self.open_panel_window()
            return panel if panel and panel.h == height else None

        return wait_for("%s (a panel %d pixels high)" % (what, height), probe)

    def ensure_closed(self):
        """Closes the panel a failed scenario left open."""
        try:
            # A panel that is closing by itself is left to do so.
            self.wait_panel_closed(timeout=2)
        except Failure:
            self.run(self.zarvo, "toggle")
            self.wait_panel_closed()

    def toggle_with_hot_key(self):
        self.key(self.hot_key)

    def new_launch(self):
        """Waits for the next launch the stand-in terminal records; its record."""
        self.launch_count += 1
        folder = self.path("launches")

        def done():
            records = sorted(f for f in os.listdir(folder) if f.endswith(".txt"))
            return records if len(records) >= self.launch_count else None

        records = wait_for("the terminal to run a launch", done)
        with open(os.path.join(folder, records[self.launch_count - 1])) as f:
            return f.read()

    @staticmethod
    def read_lines(path, count):
        """The lines of PATH once it has COUNT of them; None before."""
        try:
            with open(path) as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return None
        return lines if len(lines) >= count else None

    @staticmethod
    def launched_commands(record):
        """The commands the window's program ran, in order."""
        commands = []
        for line in record.splitlines():
            if line.startswith("eval "):
                commands.append(shlex.split(line)[1].strip())
        return commands

    # ---- running ----------------------------------------------------------

    def scenario(self, name, function):
        if self.only and not self.only.search(name):
            return
        started = time.monotonic()
        print("- %s" % name, flush=True)
        try:
            function()
        except Skip as skip:
            self.results.append((name, "SKIPPED", str(skip)))
            print("  SKIPPED: %s" % skip, flush=True)
            return
        except Failure as failure:
            self.results.append((name, "FAILED", str(failure)))
            print("  FAILED: %s" % failure, flush=True)
        except Exception:  # a fault of the script itself counts as a failure
            self.results.append((name, "FAILED", traceback.format_exc()))
            print("  FAILED:\n%s" % traceback.format_exc(), flush=True)
        else:
            self.results.append((name, "passed", ""))
            print("  passed (%.1f s)" % (time.monotonic() - started), flush=True)
        try:
            self.ensure_closed()
        except Failure as failure:
            print("  (could not close the panel after the scenario: %s)" % failure)


# ---- the scenarios ----------------------------------------------------------


def panel_hangs_under_the_icon(s, panel):
    icon = s.tray_icon
    icon_centre = icon.x + icon.w / 2
    check(panel.w == PANEL_WIDTH, "the panel is %d pixels wide, not %d" % (panel.w, PANEL_WIDTH))
    check(abs(panel.x + panel.w / 2 - icon_centre) <= 1,
          "the panel's middle is at x=%g, the icon's at x=%g" % (panel.x + panel.w / 2,
                                                                  icon_centre))
    check(abs(panel.y - (icon.y + icon.h)) <= 1,
          "the panel's top is at y=%d, the icon's bottom at y=%d" % (panel.y, icon.y + icon.h))


def arrow_points_at_the_icon(s, image, origin):
    """The white rim of the arrow is at the icon's middle, the top corners clear."""
    if not image:
        return
    ox, oy = origin
    panel = s.panel()
    tip_x = s.tray_icon.x + s.tray_icon.w // 2 - ox
    tip = s.pixel(image, tip_x, panel.y - oy + 1)
    check(min(tip) >= 200, "no white arrow tip below the icon's middle: %s" % (tip,))
    beside = s.pixel(image, tip_x - 40, panel.y - oy + 1)
    check(max(beside) <= 60, "the panel's top edge reaches up beside the arrow: %s" % (beside,))


def bright_area(image, rect):
    """The brightest grey level (0..1) inside RECT of IMAGE."""
    x, y, w, h = rect
    out = subprocess.run(["convert", image, "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                          "-colorspace", "gray", "-format", "%[fx:maxima]", "info:"],
                         check=True, capture_output=True, text=True).stdout
    return float(out.strip())


def tray_click_opens_the_panel_with_the_first_run_hint(s):
    icon = s.tray_icon
    s.click(icon.x + icon.w // 2, icon.y + icon.h // 2)
    s.wait_panel_open(height=None)
    # The store is empty: the list area holds the hint, two rows high.
    panel = s.wait_panel_height(panel_height(FIRST_RUN_HINT_ROWS), "the first-run hint")
    panel_hangs_under_the_icon(s, panel)
    origin = (panel.x - 60, 0)
    image = s.screenshot("panel-first-run.png", (origin[0], origin[1], panel.w + 120,
                                                  panel.y + panel.h + 40))
    arrow_points_at_the_icon(s, image, origin)
    if image:
        hint = (60 + 20, panel.y + LIST_TOP_GAP, panel.w - 40,
                FIRST_RUN_HINT_ROWS * HEIGHT_PER_MATCH)
        check(bright_area(image, hint) > 0.6, "no text in the list area of an empty store")
    # A second click closes it again.
    s.click(icon.x + icon.w // 2, icon.y + icon.h // 2)
    s.wait_panel_closed()


def hot_key_opens_the_panel(s):
    s.toggle_with_hot_key()
    # With projects in the store there is no hint: the panel keeps its height.
    panel = s.wait_panel_open()
    panel_hangs_under_the_icon(s, panel)
    image = s.screenshot("panel-opened.png", (panel.x - 60, 0, panel.w + 120,
                                               panel.y + panel.h + 40))
    arrow_points_at_the_icon(s, image, (panel.x - 60, 0))
    s.toggle_with_hot_key()
    s.wait_panel_closed()


def panel_stands_on_the_icon(s, panel):
    icon = s.tray_icon
    icon_centre = icon.x + icon.w / 2
    check(abs(panel.x + panel.w / 2 - icon_centre) <= 1,
          "the panel's middle is at x=%g, the icon's at x=%g" % (panel.x + panel.w / 2,
                                                                  icon_centre))
    check(abs(panel.y + panel.h - icon.y) <= 1,
          "the panel's bottom is at y=%d, the icon's top at y=%d" % (panel.y + panel.h, icon.y))
    check(panel.y >= 0, "the panel reaches above the screen: y=%d" % panel.y)


def arrow_points_down_at_the_icon(s, image, origin):
    """The white rim of the arrow is above the icon's middle, the bottom corners clear."""
    if not image:
        return
    ox, oy = origin
    panel = s.panel()
    bottom = panel.y + panel.h - oy - 2
    tip_x = s.tray_icon.x + s.tray_icon.w // 2 - ox
    tip = s.pixel(image, tip_x, bottom)
    check(min(tip) >= 200, "no white arrow tip above the icon's middle: %s" % (tip,))
    beside = s.pixel(image, tip_x - 40, bottom)
    check(max(beside) <= 60, "the panel's bottom edge reaches down beside the arrow: %s" %
          (beside,))


def tray_at_the_bottom_the_panel_opens_upwards(s):
    icon = s.tray_icon
    s.click(icon.x + icon.w // 2, icon.y + icon.h // 2)
    panel = s.wait_panel_open()
    panel_stands_on_the_icon(s, panel)
    origin = (panel.x - 60, panel.y - 40)
    image = s.screenshot("panel-above-bottom-tray.png",
                         (origin[0], origin[1], panel.w + 120, SCREEN[1] - origin[1]))
    arrow_points_down_at_the_icon(s, image, origin)
    if image:
        # The search field is still at the top: its outline 10 below the panel's top.
        field = s.pixel(image, panel.x + panel.w // 2 - origin[0], panel.y + 10 - origin[1] + 1)
        check(min(field) >= 100, "no search field outline at the panel's top: %s" % (field,))
    s.click(icon.x + icon.w // 2, icon.y + icon.h // 2)
    s.wait_panel_closed()


def typing_grows_the_bottom_panel_upwards(s):
    icon = s.tray_icon
    s.click(icon.x + icon.w // 2, icon.y + icon.h // 2)
    s.wait_panel_open()
    s.type("alp")
    listed = sorted(s.run(s.zarvo, "search", "alp").split())
    check(listed == ["alpaca", "alpha-web", "alpine-tools", "alps-map"],
          "zarvo search alp lists %s" % listed)
    panel = s.wait_panel_height(panel_height(4), "four names listed for \"alp\"")
    panel_stands_on_the_icon(s, panel)
    s.screenshot("panel-above-bottom-tray-four-matches.png")
    s.key("Escape")
    s.wait_panel_closed()


def at_scale_two_the_panel_touches_the_icon(s):
    icon = s.tray_icon
    s.click(icon.x + icon.w // 2, icon.y + icon.h // 2)
    panel = s.wait_panel_open(height=None)
    # Sizes are in device pixels here: the panel is twice as wide.
    panel = wait_for("the panel at its full width",
                     lambda: (lambda p: p if p and p.w == PANEL_WIDTH * s.scale else None)(
                         s.open_panel_window()))
    icon_centre = icon.x + icon.w / 2
    check(abs(panel.x + panel.w / 2 - icon_centre) <= s.scale,
          "the panel's middle is at x=%g, the icon's at x=%g" % (panel.x + panel.w / 2,
                                                                  icon_centre))
    check(abs(panel.y - (icon.y + icon.h)) <= s.scale,
          "the panel's top is at y=%d, the icon's bottom at y=%d" % (panel.y, icon.y + icon.h))
    s.screenshot("panel-at-scale-%g.png" % s.scale)
    s.click(icon.x + icon.w // 2, icon.y + icon.h // 2)
    s.wait_panel_closed()


def panel_height(matches):
    return matches * HEIGHT_PER_MATCH + HEIGHT_AROUND_ROWS


def typing_lists_the_matches(s):
    s.toggle_with_hot_key()
    s.wait_panel_open()
    typed = ""
    # One letter matches the names that begin with it, more letters the
    # names that contain them.
    for letters, expected in (("a", ["alpha-web", "alpine-tools"]),
                              ("l", ["alpha-web", "alpine-tools", "metal"]),
                              ("p", ["alpha-web", "alpine-tools"]),
                              ("i", ["alpine-tools"])):
        typed += letters
        s.type(letters)
        listed = s.run(s.zarvo, "search", typed).split()
        check(listed == expected, "zarvo search %s lists %s" % (typed, listed))
        s.wait_panel_height(panel_height(len(expected)), "%d names listed for \"%s\"" %
                            (len(expected), typed))


def down_and_return_launch_the_chosen_project(s):
    s.toggle_with_hot_key()
    s.wait_panel_open()
    s.type("alp")
    panel = s.wait_panel_height(panel_height(2), "alpha-web and alpine-tools listed")
    # The first Down highlights the first match, the second the next one.
    s.key("Down")
    s.key("Down")
    image = s.screenshot("panel-search.png", (panel.x - 60, 0, panel.w + 120,
                                               panel.y + panel.h + 40))
    if image:
        # The second row is highlighted, the first is not.
        row_x = 60 + 40
        first = s.pixel(image, row_x, panel.y + LIST_TOP_GAP + HEIGHT_PER_MATCH // 2)
        second = s.pixel(image, row_x, panel.y + LIST_TOP_GAP + HEIGHT_PER_MATCH * 3 // 2)
        check(sum(second) - sum(first) > 150,
              "the second row (%s) is not highlighted against the first (%s)" % (second, first))
    s.key("Return")
    record = s.new_launch()
    folder = s.path("projects", "alpine-tools")
    commands = s.launched_commands(record)
    check(("cd '%s'" % folder) in commands, "no cd into %s in %s" % (folder, commands))
    check(commands.index("cd '%s'" % folder) < commands.index("git pull") <
          commands.index(PROJECT_COMMANDS),
          "the cd, the pull and the commands did not run in this order: %s" % commands)
    check(("cwd: %s" % folder) in record, "the terminal did not start in the project's folder")
    ran = wait_for("the project's commands to run",
                   lambda: s.read_lines(s.path("projects", "ran-alpine-tools.txt"), 2))
    check(ran == [folder, "Pulled commit"],
          "the commands ran with: %s (folder, newest commit)" % ran)
    s.wait_panel_closed()


def clicking_a_name_launches_it(s):
    s.toggle_with_hot_key()
    s.wait_panel_open()
    s.type("b")
    panel = s.wait_panel_height(panel_height(1), "beta-api listed")
    s.click(panel.x + 60, panel.y + LIST_TOP_GAP + HEIGHT_PER_MATCH // 2)
    record = s.new_launch()
    folder = s.path("projects", "beta-api")
    commands = s.launched_commands(record)
    check("cd '%s'" % folder in commands, "no cd into %s in %s" % (folder, commands))
    check("git pull" not in commands, "beta-api does not pull, yet: %s" % commands)
    opened = wait_for("the editor to open beta-api",
                      lambda: s.read_lines(s.path("editor-beta-api.txt"), 2))
    check(opened == [folder, "./"], "the editor was started as %s" % opened)
    s.wait_panel_closed()


def escape_closes_the_panel(s):
    s.toggle_with_hot_key()
    s.wait_panel_open()
    s.type("a")
    s.wait_panel_height(panel_height(2), "two names listed")
    # The first Escape empties the field, the next one closes the panel.
    s.key("Escape")
    s.key("Escape")
    s.wait_panel_closed()
    check(s.launch_count == len([f for f in os.listdir(s.path("launches"))
                                 if f.endswith(".txt")]), "Escape launched a project")


def a_click_elsewhere_closes_the_panel(s):
    s.toggle_with_hot_key()
    s.wait_panel_open()
    s.type("a")
    s.wait_panel_height(panel_height(2), "two names listed")
    s.click(SCREEN[0] // 4, SCREEN[1] // 2)
    # No window manager runs, so nothing moves the keyboard focus on a click;
    # do what a click-to-focus window manager does for a click on the desktop.
    s.xdotool("windowfocus", str(s.root_window()))
    s.wait_panel_closed()


def window_named(s, name):
    window = s.find(lambda w: w.toplevel and w.cls == '"zarvo" "zarvo"' and
                    w.name == '"%s"' % name)
    return window if window and s.is_mapped(window.id) else None


def wait_for_form(s, name):
    """Waits until the form window NAME is on screen with the keyboard."""
    form = wait_for("the window \"%s\"" % name, lambda: window_named(s, name))
    wait_for("the window \"%s\" to have the keyboard focus" % name,
             lambda: s.focused_window() == int(form.id, 16))
    return form


def bottom_row_button(panel, x):
    """The middle of the bottom row's button at X (the panel's own x)."""
    return panel.x + x, panel.y + panel.h - 20


def adding_a_project_through_the_form_and_launching_it(s):
    folder = s.git_project("gamma-app")
    commands = "pwd > ../ran-gamma-app.txt; git log -1 --format=%s >> ../ran-gamma-app.txt"
    s.toggle_with_hot_key()
    panel = s.wait_panel_open()
    s.click(*bottom_row_button(panel, 11))  # the + button
    form = wait_for_form(s, "New Project")
    # The name field has the focus; then the path, the folder button, the
    # pull and folder boxes, the open command and the commands.
    s.type("gamma-app")
    s.key("Tab")
    s.type(folder)
    s.key("Tab", "Tab", "space", "Tab", "Tab", "Tab")
    s.type(commands)
    s.screenshot("form-new-project.png", (form.x, form.y, form.w, form.h))
    # Return presses the default button, Create.
    s.key("Return")
    wait_for("gamma-app in the store", lambda: "gamma-app" in s.run(s.zarvo, "list").split())
    script = s.run(s.zarvo, "script", "gamma-app")
    check("git pull" in script and "ran-gamma-app" in script,
          "the stored project does not pull and run its commands:\n%s" % script)
    # The panel opens on the new project and lists it, selected.
    panel = s.wait_panel_height(panel_height(1), "the new project listed")
    wait_for("the panel to have the keyboard focus",
             lambda: s.focused_window() == int(panel.id, 16))
    s.screenshot("panel-new-project.png", (panel.x - 60, 0, panel.w + 120,
                                            panel.y + panel.h + 40))
    check(not window_named(s, "New Project"), "the form stayed open")
    s.key("Return")
    record = s.new_launch()
    launched = s.launched_commands(record)
    check(launched.index("cd '%s'" % folder) < launched.index("git pull") <
          launched.index(commands), "the launch ran %s" % launched)
    ran = wait_for("gamma-app's commands to run",
                   lambda: s.read_lines(s.path("projects", "ran-gamma-app.txt"), 2))
    check(ran == [folder, "Pulled commit"], "the commands ran with: %s" % ran)
    s.wait_panel_closed()


def white_runs(image, crop, minimum=10):
    """The (start, end) of the runs of white pixels along the line CROP of
    IMAGE (a one pixel wide column or a one pixel high row: w, h, x, y)."""
    out = subprocess.run(["convert", image, "-crop", "%dx%d+%d+%d" % crop, "-depth", "8",
                          "txt:-"], check=True, capture_output=True, text=True).stdout
    white = []
    for line in out.splitlines()[1:]:
        match = re.match(r"\d+,\d+: \((\d+),(\d+),(\d+)", line)
        if match:
            white.append(min(int(v) for v in match.groups()) >= 250)
    runs, start = [], None
    for i, is_white in enumerate(white + [False]):
        if is_white and start is None:
            start = i
        elif not is_white and start is not None:
            if i - start >= minimum:
                runs.append((start, i))
            start = None
    return runs


def settings_rows(image, width, height):
    """The settings window's rows, found in IMAGE of it: the left edge of the
    field column, the middle of the first text field's row and the row pitch.

    The rows are the editor command, the terminal, the recorder and the start
    at login box: down a line through the empty right part of the text
    fields, the first two white runs are the two fields."""
    for share in (0.72, 0.65, 0.55):
        x = int(width * share)
        runs = white_runs(image, (1, height, x, 0))
        if len(runs) >= 2:
            first, second = [(start + end) / 2 for start, end in runs[:2]]
            row = white_runs(image, (width, 1, 0, int(first)), minimum=30)
            check(row, "cannot find the editor command field of the settings window")
            return row[0][0], first, second - first
    raise Failure("cannot find the two text fields of the settings window")


def a_new_global_shortcut_from_the_settings_window(s):
    before = s.run(s.zarvo, "shortcut").strip()
    s.toggle_with_hot_key()
    panel = s.wait_panel_open()
    s.click(*bottom_row_button(panel, 269))  # the options button
    wait_for("the options menu", lambda: s.find(
        lambda w: w.toplevel and w.cls == '"zarvo" "zarvo"' and w.name != '"Zarvo"' and
        w.w > 100 and s.is_mapped(w.id)))
    # New Project, Scan Folder, Edit Project, Remove, (separator), Preferences.
    s.key("Down", "Down", "Down", "Down", "Down", "Return")
    form = wait_for_form(s, "Preferences")
    s.wait_panel_closed()
    image = s.screenshot("form-settings.png", (form.x, form.y, form.w, form.h))
    if not image:
        raise Skip("the recorder is found on a screenshot, and ImageMagick is not installed")
    # The screenshot's coordinates are the form's own.
    left, first_row, pitch = settings_rows(image, form.w, form.h)
    s.click(form.x + int(form.w * 0.55), form.y + int(first_row + 2 * pitch))
    s.key("ctrl+alt+super+j")
    after = wait_for("the recorded shortcut in the user defaults",
                     lambda: (lambda text: text != before and text)(
                         s.run(s.zarvo, "shortcut").strip()))
    check(after.endswith("J"), "the recorder stored %s for Ctrl+Alt+Super+J" % after)
    s.screenshot("form-settings-recorded.png", (form.x, form.y, form.w, form.h))

    # "Start at login" writes the autostart entry and takes it away again.
    entry = s.path("config", "autostart", "zarvo.desktop")
    start_at_login = (form.x + left + 30, form.y + int(first_row + 3 * pitch))
    s.click(*start_at_login)
    lines = wait_for("the autostart entry", lambda: s.read_lines(entry, 1))
    check("Exec=" + s.zarvo in lines, "the autostart entry does not start %s: %s" %
          (s.zarvo, lines))
    s.click(*start_at_login)
    wait_for("the autostart entry to go", lambda: not os.path.exists(entry))
    s.key("Escape")
    wait_for("the settings window to close", lambda: not window_named(s, "Preferences"))

    s.hot_key = "ctrl+alt+super+j"
    s.toggle_with_hot_key()
    s.wait_panel_open()
    s.toggle_with_hot_key()
    s.wait_panel_closed()
    # The old shortcut is free again: pressing it opens nothing.
    s.key("ctrl+alt+super+k")
    try:
        wait_for("the panel (it must not open)", s.open_panel_window, timeout=1.5)
    except Failure:
        return
    raise Failure("Ctrl+Alt+Super+K still opens the panel")


def sigterm_ends_the_launcher(s):
    s.app.terminate()
    try:
        status = s.app.wait(DEADLINE)
    except subprocess.TimeoutExpired:
        raise Failure("the launcher did not end on SIGTERM")
    check(status == 0, "the launcher ended with status %d (see zarvo.log)" % status)
    wait_for("the icon to leave the tray", lambda: not s.find_tray_icon())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--zarvo", required=True, help="the zarvo executable")
    parser.add_argument("--artefacts", required=True, help="where screenshots and logs go")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    parser.add_argument("--only", metavar="REGEX", help="run only the scenarios it matches")
    parser.add_argument("--tray-edge", choices=("top", "bottom"), default="top",
                        help="the screen edge trayer sits on")
    parser.add_argument("--scale", type=float, default=1, help="QT_SCALE_FACTOR for zarvo")
    options = parser.parse_args()
    os.makedirs(options.artefacts, exist_ok=True)

    s = Session(options.zarvo, options.artefacts, options.keep, options.only, options.tray_edge,
                options.scale)
    try:
        s.prepare()
        s.start_x()
        print("X server %s; artefacts in %s" % (s.display, options.artefacts))
        s.start_app()
        if options.tray_edge != "top" or options.scale != 1:
            placement_scenarios(s)
            return report(s)
        s.scenario("the tray icon opens the panel under it, with the first-run hint",
                   lambda: tray_click_opens_the_panel_with_the_first_run_hint(s))

        # The projects, added while the launcher runs: it reads the store afresh.
        s.run(s.zarvo, "add", "alpha-web", s.plain_project("alpha-web"))
        s.run(s.zarvo, "add", "alpine-tools", s.git_project("alpine-tools"), "--pull",
              "--commands", PROJECT_COMMANDS)
        s.run(s.zarvo, "add", "beta-api", s.plain_project("beta-api"))
        s.run(s.zarvo, "add", "metal", s.plain_project("metal"))
        s.run(s.zarvo, "settings", "editor", "editor-stub")

        s.scenario("Ctrl+Alt+Super+K opens the panel", lambda: hot_key_opens_the_panel(s))
        s.scenario("typing lists the matches", lambda: typing_lists_the_matches(s))
        s.scenario("Down and Return launch the chosen project",
                   lambda: down_and_return_launch_the_chosen_project(s))
        s.scenario("a click on a listed name launches it", lambda: clicking_a_name_launches_it(s))
        s.scenario("Escape closes the panel", lambda: escape_closes_the_panel(s))
        s.scenario("a click elsewhere closes the panel", lambda: a_click_elsewhere_closes_the_panel(s))
        s.scenario("a project added through the form launches",
                   lambda: adding_a_project_through_the_form_and_launching_it(s))
        # Last: it changes the global shortcut.
        s.scenario("the settings window: a recorded shortcut opens the panel; start at login",
                   lambda: a_new_global_shortcut_from_the_settings_window(s))
        s.scenario("SIGTERM ends the launcher cleanly", lambda: sigterm_ends_the_launcher(s))
    except Skip as skip:
        print("SKIPPED: %s" % skip)
        return SKIPPED
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        s.close()
    return report(s)


def placement_scenarios(s):
    """Where the panel goes for a tray at the bottom, or at another scale."""
    if s.scale != 1:
        s.scenario("at scale %g the panel touches the icon" % s.scale,
                   lambda: at_scale_two_the_panel_touches_the_icon(s))
        return
    for name in ("alpha-web", "alpine-tools", "alpaca", "alps-map", "beta-api"):
        s.run(s.zarvo, "add", name, s.plain_project(name))
    s.scenario("a tray at the bottom: the panel opens upwards, its arrow pointing down",
               lambda: tray_at_the_bottom_the_panel_opens_upwards(s))
    s.scenario("a tray at the bottom: typing grows the panel upwards, whole on the screen",
               lambda: typing_grows_the_bottom_panel_upwards(s))


def report(s):
    print()
    for name, outcome, reason in s.results:
        print("%-8s %s%s" % (outcome, name, (": " + reason.splitlines()[0]) if reason else ""))
    return 1 if any(outcome == "FAILED" for _, outcome, _ in s.results) else 0


if __name__ == "__main__":
    sys.exit(main())
