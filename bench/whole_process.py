#!/usr/bin/python3
"""Whole-process benchmarks of Zarvo, each beside a peer measured in the same run.

  whole_process.py --zarvo PATH --store-tool PATH --json OUT [--quick]

1. zarvo search TEXT against fzf --filter TEXT on the same 10,000 names (hyperfine).
2. Start-up on an Xvfb of our own with a tray (trayer): from the moment before
   the process is started until it logs "Ready" (tray icon shown, hot key
   registered).
3. Hot key to panel: from the key press, sent through XTEST as xdotool sends
   it, until the panel window is mapped and until its first frame has been
   drawn (the first DAMAGE report on it); beside it, rofi -show run from its
   start until its window is mapped and first drawn.
4. Memory: resident memory after start-up and across 100 cycles of opening the
   panel, typing a search and closing it, with 10,000 projects.
5. Launch: from Return in the panel until the terminal process has started;
   the terminal is a shell that writes one byte to a pipe we wait on.
6. zarvo scan --dry-run against find -name .git -prune on the same tree of
   10,000 folders with 500 projects (bench/scantree.py), warm (hyperfine).

  whole_process.py --only-scan --zarvo PATH --json OUT [--quick] runs 6 alone.

Timestamps are taken in this process with the monotonic clock; X events are
read as they arrive (the X connection is polled with select). Prints a summary
and writes every figure to the JSON file.
"""

import argparse
import json
import os
import queue
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import scantree
from Xlib import X, XK, display
from Xlib.ext import damage, xtest

SEARCH_TEXT = "ser"
STORE_SIZE = 10000
DEADLINE = 20.0
SCREEN = "1920x1080x24"


def now():
    return time.perf_counter()


def ms(seconds):
    return round(seconds * 1000.0, 2)


def summary(values):
    values = sorted(values)
    return {
        "runs": len(values),
        "median_ms": ms(statistics.median(values)),
        "min_ms": ms(values[0]),
        "max_ms": ms(values[-1]),
    }


class Failure(Exception):
    pass


def wait_for(what, condition, timeout=DEADLINE):
    deadline = now() + timeout
    while now() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.005)
    raise Failure("timed out waiting for " + what)


# ---- The X session ------------------------------------------------------


class Session:
    def __init__(self, root):
        self.root = root
        self.processes = []
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0", SCREEN],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = now() + DEADLINE
        while not number.endswith(b"\n") and now() < deadline:
            ready, _, _ = select.select([read_end], [], [], 1.0)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.endswith(b"\n"):
            raise Failure("Xvfb did not start")
        self.display_name = ":" + number.decode().strip()
        self.x = display.Display(self.display_name)
        # Windows come and go between their creation and our look at them.
        self.x.set_error_handler(lambda *args: None)
        if not self.x.has_extension("DAMAGE") or not self.x.has_extension("XTEST"):
            raise Failure("Xvfb lacks DAMAGE or XTEST")
        self.x.damage_query_version()
        self.damage_event = self.x.extension_event.DamageNotify
        self.x.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.x.sync()
        self.damages = {}
        self.tray = None
        if shutil.which("trayer"):
            self.tray = self.start(["trayer", "--edge", "top", "--align", "right",
                                    "--widthtype", "pixel", "--width", "60", "--height", "22",
                                    "--SetDockType", "true", "--transparent", "false"])
            self.wait_event("the tray's window", lambda e: e.type == X.MapNotify)

    def env(self, extra=None):
        env = dict(os.environ)
        env["DISPLAY"] = self.display_name
        env.update(extra or {})
        return env

    def start(self, args, extra_env=None, **kwargs):
        process = subprocess.Popen(args, env=self.env(extra_env), stdin=subprocess.DEVNULL,
                                   stdout=kwargs.pop("stdout", subprocess.DEVNULL),
                                   stderr=kwargs.pop("stderr", subprocess.DEVNULL), **kwargs)
        self.processes.append(process)
        return process

    def close(self):
        for process in reversed(self.processes):
            stop(process)
        self.x.close()
        stop(self.xvfb)

    # Events, each with the moment it was read.
    def next_event(self, timeout):
        deadline = now() + timeout
        while True:
            if self.x.pending_events():
                event = self.x.next_event()
                stamp = now()
                self.track(event)
                return event, stamp
            remaining = deadline - now()
            if remaining <= 0:
                return None, None
            select.select([self.x.fileno()], [], [], remaining)

    def track(self, event):
        # Every new top-level window is watched for drawing from its creation.
        if event.type == X.CreateNotify and event.window.id not in self.damages:
            self.damages[event.window.id] = event.window.damage_create(
                damage.DamageReportRawRectangles)
            self.x.flush()
        elif event.type == X.DestroyNotify:
            self.damages.pop(event.window.id, None)

    def wait_event(self, what, match, timeout=DEADLINE):
        deadline = now() + timeout
        while now() < deadline:
            event, stamp = self.next_event(deadline - now())
            if event is not None and match(event):
                return event, stamp
        raise Failure("timed out waiting for " + what)

    def drain(self, quiet=0.05):
        while True:
            event, _ = self.next_event(quiet)
            if event is None:
                return

    def watch(self, window_id):
        if window_id not in self.damages:
            self.damages[window_id] = self.x.create_resource_object(
                "window", window_id).damage_create(damage.DamageReportRawRectangles)
            self.x.flush()

    # Key presses through XTEST, as xdotool sends them.
    def keycode(self, name):
        return self.x.keysym_to_keycode(XK.string_to_keysym(name))

    def press(self, *names):
        codes = [self.keycode(n) for n in names]
        for code in codes:
            xtest.fake_input(self.x, X.KeyPress, code)
        for code in reversed(codes):
            xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.flush()

    def type(self, text):
        for c in text:
            self.press(c)

    def hot_key(self):
        self.press("Control_L", "Alt_L", "Super_L", "k")


def stop(process, timeout=10):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


# ---- Zarvo under test ---------------------------------------------------


class Zarvo:
    """One zarvo application on the session, its log lines read as they come."""

    def __init__(self, session, exe, environment):
        self.lines = queue.Queue()
        self.started = now()
        self.process = session.start([exe], environment, stderr=subprocess.PIPE)
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def read(self):
        for line in self.process.stderr:
            self.lines.put((line.decode(errors="replace").strip(), now()))

    def wait_line(self, text, timeout=DEADLINE):
        deadline = now() + timeout
        while now() < deadline:
            try:
                line, stamp = self.lines.get(timeout=max(0.0, deadline - now()))
            except queue.Empty:
                break
            if line.endswith(text):
                return stamp
        raise Failure("zarvo did not log " + text)

    def rss_kib(self):
        with open("/proc/%d/status" % self.process.pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        raise Failure("no VmRSS")

    def stop(self):
        stop(self.process)


def zarvo_environment(root, store, fifo):
    folders = {}
    for name in ("runtime", "config", "tmp"):
        folders[name] = os.path.join(root, name)
        os.makedirs(folders[name], mode=0o700, exist_ok=True)
    return {
        "QT_QPA_PLATFORM": "xcb",
        "XDG_RUNTIME_DIR": folders["runtime"],
        "XDG_CONFIG_HOME": folders["config"],
        "TMPDIR": folders["tmp"],
        "ZARVO_RESOURCES": store,
        # The terminal: a shell that tells us it has started, and nothing else.
        "ZARVO_TERMINAL": "/bin/sh -c 'printf x >> \"$1\"' sh " + fifo,
    }


def is_map(window_ids=None):
    return lambda e: e.type == X.MapNotify and (window_ids is None or e.window.id in window_ids)


# The server clears a window to its background as it maps it, and reports that
# as damage in the same breath as the map; the client's own drawing needs the
# Expose first and comes later. Damage read this soon after the map is the
# server's, not a frame.
SERVER_CLEAR_S = 0.0003


def first_frame(session, window_id, mapped, timeout=2.0):
    while True:
        _, stamp = session.wait_event(
            "the first frame",
            lambda e: e.type == session.damage_event and e.drawable.id == window_id, timeout)
        if stamp - mapped > SERVER_CLEAR_S:
            return stamp


# ---- The measurements ---------------------------------------------------


def bench_search(zarvo_exe, store, names_file, runs):
    env = dict(os.environ, ZARVO_RESOURCES=store)
    zarvo_out = subprocess.run([zarvo_exe, "search", SEARCH_TEXT], env=env, check=True,
                               capture_output=True).stdout
    with open(names_file, "rb") as names:
        fzf_out = subprocess.run(["fzf", "--filter", SEARCH_TEXT], stdin=names, check=True,
                                 capture_output=True).stdout
    report = os.path.join(os.path.dirname(names_file), "hyperfine.json")
    subprocess.run(["hyperfine", "--style", "basic", "--warmup", "5", "--runs", str(runs),
                    "--export-json", report,
                    "-n", "zarvo search", "ZARVO_RESOURCES=%s %s search %s" % (
                        store, zarvo_exe, SEARCH_TEXT),
                    "-n", "fzf --filter", "fzf --filter %s < %s" % (SEARCH_TEXT, names_file)],
                   check=True, stdout=sys.stderr)
    with open(report) as f:
        results = {r["command"]: r for r in json.load(f)["results"]}
    z, f = results["zarvo search"], results["fzf --filter"]
    return {
        "zarvo_mean_ms": ms(z["mean"]), "zarvo_min_ms": ms(z["min"]),
        "zarvo_user_ms": ms(z["user"]), "zarvo_system_ms": ms(z["system"]),
        "fzf_mean_ms": ms(f["mean"]), "fzf_min_ms": ms(f["min"]),
        "fzf_user_ms": ms(f["user"]), "fzf_system_ms": ms(f["system"]),
        "ratio": round(z["mean"] / f["mean"], 3),
        "zarvo_matches": zarvo_out.count(b"\n"), "fzf_matches": fzf_out.count(b"\n"),
    }


def bench_scan(zarvo_exe, root, runs):
    tree = os.path.join(root, "src")
    folders, projects = scantree.make_tree(tree)
    store = os.path.join(root, "scan-store")
    os.makedirs(store, mode=0o700)
    env = dict(os.environ, ZARVO_RESOURCES=store)
    # The store starts empty: every project found is new.
    subprocess.run([zarvo_exe, "list"], env=env, check=True, capture_output=True)
    found = subprocess.run([zarvo_exe, "scan", "--dry-run", tree], env=env, check=True,
                           capture_output=True).stdout.count(b"\n")
    pruned = subprocess.run(["find", tree, "-name", ".git", "-prune"], check=True,
                            capture_output=True).stdout.count(b"\n")
    report = os.path.join(root, "hyperfine-scan.json")
    subprocess.run(["hyperfine", "--style", "basic", "--warmup", "5", "--runs", str(runs),
                    "--export-json", report,
                    "-n", "zarvo scan", "ZARVO_RESOURCES=%s %s scan --dry-run %s" % (
                        store, zarvo_exe, tree),
                    "-n", "find", "find %s -name .git -prune" % tree],
                   check=True, stdout=sys.stderr)
    with open(report) as f:
        results = {r["command"]: r for r in json.load(f)["results"]}
    z, f = results["zarvo scan"], results["find"]
    return {
        "folders": folders, "projects": projects, "zarvo_found": found, "find_lines": pruned,
        "zarvo_mean_ms": ms(z["mean"]), "zarvo_min_ms": ms(z["min"]),
        "zarvo_user_ms": ms(z["user"]), "zarvo_system_ms": ms(z["system"]),
        "find_mean_ms": ms(f["mean"]), "find_min_ms": ms(f["min"]),
        "find_user_ms": ms(f["user"]), "find_system_ms": ms(f["system"]),
        "ratio": round(z["mean"] / f["mean"], 3),
    }


def bench_startup(session, zarvo_exe, environment, runs):
    times = []
    for _ in range(runs):
        app = Zarvo(session, zarvo_exe, environment)
        ready = app.wait_line("Ready")
        times.append(ready - app.started)
        app.stop()
        session.drain()
    return summary(times)


def open_panel(session, panel=None):
    """Presses the hot key; returns (panel id, key-to-map, key-to-first-frame)."""
    session.drain(0.02)
    pressed = now()
    session.hot_key()
    event, mapped = session.wait_event("the panel", is_map(None if panel is None else {panel}))
    panel = event.window.id
    session.watch(panel)
    drawn = first_frame(session, panel, mapped)
    return panel, mapped - pressed, drawn - pressed


def close_panel(session, panel, key=None):
    if key:
        session.press(key)
    else:
        session.hot_key()
    session.wait_event("the panel to go", lambda e: e.type == X.UnmapNotify
                       and e.window.id == panel)


def bench_hot_key(session, zarvo_exe, environment, runs):
    app = Zarvo(session, zarvo_exe, environment)
    app.wait_line("Ready")
    session.drain(0.3)
    panel, cold_map, cold_frame = open_panel(session)
    close_panel(session, panel)
    maps, frames = [], []
    for _ in range(runs):
        time.sleep(0.1)
        _, to_map, to_frame = open_panel(session, panel)
        maps.append(to_map)
        frames.append(to_frame)
        close_panel(session, panel)
    app.stop()
    session.drain()
    return {"first_open_map_ms": ms(cold_map), "first_open_frame_ms": ms(cold_frame),
            "map": summary(maps), "frame": summary(frames)}


def bench_rofi(session, root, runs):
    if not shutil.which("rofi"):
        return None
    maps, frames = [], []
    env = {"XDG_CONFIG_HOME": os.path.join(root, "rofi-config"), "HOME": root}
    for _ in range(runs):
        session.drain(0.02)
        started = now()
        rofi = session.start(["rofi", "-show", "run"], env)
        event, mapped = session.wait_event("rofi's window", is_map())
        session.watch(event.window.id)
        drawn = first_frame(session, event.window.id, mapped)
        maps.append(mapped - started)
        frames.append(drawn - started)
        stop(rofi)
        session.processes.remove(rofi)
        session.drain()
    return {"map": summary(maps), "frame": summary(frames)}


def search_in_panel(session, panel):
    # The focus reaches the search field once the opening animation is over.
    time.sleep(0.25)
    session.drain(0.0)
    session.type(SEARCH_TEXT)
    # The list shows once the panel has grown for the matches.
    session.wait_event("the list", lambda e: e.type == X.ConfigureNotify
                       and e.window.id == panel and e.height > 200)
    session.drain(0.05)


def bench_memory_and_launch(session, zarvo_exe, environment, fifo, cycles, launches):
    app = Zarvo(session, zarvo_exe, environment)
    app.wait_line("Ready")
    time.sleep(1.0)
    memory = {"after_start_kib": app.rss_kib()}
    panel = None
    samples = {}
    for cycle in range(1, cycles + 1):
        panel, _, _ = open_panel(session, panel)
        search_in_panel(session, panel)
        close_panel(session, panel, "Escape")
        if cycle in (1, 10, 25, 50, 75, 100) or cycle == cycles:
            time.sleep(0.2)
            samples[cycle] = app.rss_kib()
    memory["after_cycles_kib"] = samples
    memory["growth_10_to_last_kib"] = samples[cycles] - samples[min(10, cycles)]

    reader = os.open(fifo, os.O_RDWR | os.O_NONBLOCK)
    times = []
    try:
        for _ in range(launches):
            panel, _, _ = open_panel(session, panel)
            search_in_panel(session, panel)
            while select.select([reader], [], [], 0)[0]:
                os.read(reader, 64)
            pressed = now()
            session.press("Return")
            if not select.select([reader], [], [], DEADLINE)[0]:
                raise Failure("the terminal was not started")
            started = now()
            os.read(reader, 64)
            times.append(started - pressed)
            session.wait_event("the panel to go", lambda e: e.type == X.UnmapNotify
                               and e.window.id == panel)
    finally:
        os.close(reader)
    memory["after_launches_kib"] = app.rss_kib()
    app.stop()
    session.drain()
    return memory, summary(times)


def suppressed(lines):
    """LeakSanitizer's table of the suppressions it used: "count bytes pattern"."""
    if "Suppressions used:" not in lines:
        return []
    table = lines[lines.index("Suppressions used:") + 1:]
    return [l for l in table if l and not l.startswith("zarvo:") and "-----" not in l]


def leak_check(session, zarvo_exe, environment, fifo, cycles, suppressions):
    """The memory cycles and a few launches under LeakSanitizer (an ASan build):
    what it reports when the application quits. Leaks inside system libraries
    that Qt holds until exit are suppressed (see the suppressions file)."""
    env = dict(environment)
    env["ASAN_OPTIONS"] = "detect_leaks=1:halt_on_error=0"
    env["LSAN_OPTIONS"] = "suppressions=%s:print_suppressions=1" % suppressions
    app = Zarvo(session, zarvo_exe, env)
    app.wait_line("Ready", timeout=120)
    panel = None
    reader = os.open(fifo, os.O_RDWR | os.O_NONBLOCK)
    try:
        for cycle in range(cycles):
            panel, _, _ = open_panel(session, panel)
            search_in_panel(session, panel)
            if cycle % 20 == 19:
                session.press("Return")  # a launch closes the panel
                if not select.select([reader], [], [], DEADLINE)[0]:
                    raise Failure("the terminal was not started")
                os.read(reader, 64)
                session.wait_event("the panel to go", lambda e: e.type == X.UnmapNotify
                                   and e.window.id == panel)
            else:
                close_panel(session, panel, "Escape")
    finally:
        os.close(reader)
    app.process.send_signal(signal.SIGTERM)
    app.process.wait(120)
    app.reader.join(30)
    lines = []
    while not app.lines.empty():
        lines.append(app.lines.get()[0])
    summary_line = next((l for l in lines if l.startswith("SUMMARY: AddressSanitizer")), None)
    leaks = [l for l in lines if "leak of" in l]
    session.drain()
    return {
        "cycles": cycles,
        "exit_status": app.process.returncode,
        "leaks": len(leaks),
        "summary": summary_line or "no leaks reported",
        # What the sanitizer said: the leaks it found, the suppressions it used.
        "report": [l for l in lines if "Sanitizer" in l or "leak" in l or l.startswith("#")]
                  + suppressed(lines),
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zarvo", required=True)
    parser.add_argument("--store-tool")
    parser.add_argument("--json", required=True)
    parser.add_argument("--quick", action="store_true", help="fewer runs, for a try")
    parser.add_argument("--leak-check", metavar="ASAN_ZARVO",
                        help="only the leak check, with this AddressSanitizer build")
    parser.add_argument("--only-scan", action="store_true", help="only the scan against find")
    args = parser.parse_args()
    if not args.only_scan and not args.store_tool:
        parser.error("--store-tool is needed")
    runs = 5 if args.quick else 20
    cycles = 20 if args.quick else 100

    root = tempfile.mkdtemp(prefix="zarvo-bench-")
    os.chmod(root, 0o700)
    if args.only_scan:
        try:
            print("== zarvo scan against find", file=sys.stderr)
            results = {"scan": bench_scan(args.zarvo, root, 20 if args.quick else 100),
                       "load_average": "%.2f %.2f %.2f" % os.getloadavg(),
                       "date": time.strftime("%Y-%m-%d %H:%M")}
        finally:
            shutil.rmtree(root, ignore_errors=True)
        with open(args.json, "w") as f:
            json.dump(results, f, indent=2)
        json.dump(results, sys.stdout, indent=2)
        print()
        return
    store = os.path.join(root, "store")
    os.makedirs(store, mode=0o700)
    subprocess.run([args.store_tool, str(STORE_SIZE), store], check=True)
    names = os.path.join(root, "names.txt")
    with open(names, "wb") as f:
        subprocess.run([args.zarvo, "list"], env=dict(os.environ, ZARVO_RESOURCES=store),
                       stdout=f, check=True)
    fifo = os.path.join(root, "terminal-started")
    os.mkfifo(fifo, 0o600)
    results = {"store_projects": STORE_SIZE, "search_text": SEARCH_TEXT}
    session = None
    if args.leak_check:
        try:
            time.sleep(1.1)
            session = Session(root)
            environment = zarvo_environment(root, store, fifo)
            print("== leak check over %d cycles" % cycles, file=sys.stderr)
            suppressions = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir,
                                        "tests", "sanitizer", "lsan.supp")
            results["leak_check"] = leak_check(session, args.leak_check, environment, fifo,
                                               cycles, suppressions)
        finally:
            if session:
                session.close()
            shutil.rmtree(root, ignore_errors=True)
        with open(args.json, "w") as f:
            json.dump(results, f, indent=2)
        print(results["leak_check"]["summary"])
        return
    try:
        print("== zarvo search against fzf --filter", file=sys.stderr)
        results["search"] = bench_search(args.zarvo, store, names, 20 if args.quick else 100)
        print("== zarvo scan against find", file=sys.stderr)
        results["scan"] = bench_scan(args.zarvo, root, 20 if args.quick else 100)
        # Every file of the store is more than a second old from here on.
        time.sleep(1.1)
        session = Session(root)
        environment = zarvo_environment(root, store, fifo)
        print("== start-up", file=sys.stderr)
        results["startup"] = bench_startup(session, args.zarvo, environment, runs)
        print("== hot key to panel, and rofi", file=sys.stderr)
        results["hot_key"] = bench_hot_key(session, args.zarvo, environment, runs)
        results["rofi"] = bench_rofi(session, root, runs)
        print("== memory over %d cycles, and launches" % cycles, file=sys.stderr)
        results["memory"], results["launch"] = bench_memory_and_launch(
            session, args.zarvo, environment, fifo, cycles, runs)
    finally:
        if session:
            session.close()
        shutil.rmtree(root, ignore_errors=True)
    # The machine's load while it ran: the figures depend on it.
    results["load_average"] = "%.2f %.2f %.2f" % os.getloadavg()
    results["date"] = time.strftime("%Y-%m-%d %H:%M")
    with open(args.json, "w") as f:
        json.dump(results, f, indent=2)
    json.dump(results, sys.stdout, indent=2)
    print()


if __name__ == "__main__":
    try:
        main()
    except Failure as failure:
        print("whole_process.py: " + str(failure), file=sys.stderr)
        sys.exit(1)
