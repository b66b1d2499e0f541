#!/usr/bin/python3
"""Turns the benchmark results into Markdown: the figures beside the targets,
the peers' figures from the same run and the machine they came from.

  report.py --inprocess INPROCESS.json --whole WHOLE.json [--leak LEAK.json] [--into FILE]
  report.py --scan SCAN.json      the scan figures alone (whole_process.py --only-scan)

With --into, the figures replace what stands between the markers
<!-- figures:begin --> and <!-- figures:end --> in FILE; otherwise they are printed.
"""

import argparse
import datetime
import json
import os
import platform
import re
import subprocess
import sys

BEGIN = "<!-- figures:begin -->"
END = "<!-- figures:end -->"
SIZES = (100, 1000, 10000, 100000)


def verdict(met):
    return "met" if met else "**missed**"


def fmt(ms):
    if ms is None:
        return "-"
    return "%.3f" % ms if ms < 1 else "%.1f" % ms if ms < 100 else "%.0f" % ms


def in_process(path):
    with open(path) as f:
        data = json.load(f)
    times = {}
    complexity = {}
    for b in data["benchmarks"]:
        name = b["name"]
        if name.endswith("_BigO"):
            complexity[name[:-len("_BigO")].split("/")[0]] = b.get("big_o", "")
            continue
        if b.get("run_type") == "aggregate" or "_RMS" in name:
            continue
        parts = name.split("/")
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
        times[(parts[0], int(parts[1]))] = b["real_time"] * scale
    return times, complexity, data.get("context", {})


def machine():
    def first(path, prefix):
        try:
            with open(path) as f:
                for line in f:
                    if line.startswith(prefix):
                        return line.split(":", 1)[1].strip()
        except OSError:
            pass
        return "?"
    memory_kib = first("/proc/meminfo", "MemTotal").split()[0]
    try:
        qt = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "libqt6core6"],
                            capture_output=True, text=True).stdout.strip() or "?"
    except OSError:
        qt = "?"
    try:
        with open("/etc/debian_version") as f:
            debian = f.read().strip()
    except OSError:
        debian = "?"
    return {
        "cpus": os.cpu_count(),
        "cpu": first("/proc/cpuinfo", "model name"),
        "memory_gib": round(int(memory_kib) / 1024 / 1024, 1) if memory_kib.isdigit() else "?",
        "kernel": platform.release(),
        "debian": debian,
        "qt": qt,
        "load": "%.2f %.2f %.2f" % os.getloadavg(),
    }


def report(inprocess_path, whole_path, leak_path=None):
    times, complexity, context = in_process(inprocess_path)
    with open(whole_path) as f:
        whole = json.load(f)
    m = machine()
    out = []
    w = out.append
    w("Run of %s on %d CPUs (%s), %s GiB of memory, Linux %s, Debian %s, Qt %s; "
      "load average (1, 5, 15 minutes) at the end of the whole-process run %s. Store: "
      "realistic names (bench/benchstore.cpp), search text \"%s\"." % (
          whole.get("date", datetime.date.today().isoformat()), m["cpus"], m["cpu"],
          m["memory_gib"], m["kernel"], m["debian"], m["qt"], whole.get("load_average", m["load"]),
          whole.get("search_text", "ser")))
    w("")

    # 1. Keystroke to list.
    w("### 1. Keystroke to list (in process, the real panel offscreen)")
    w("")
    w("| projects | runSearch | per project | + panel painted | first read after a change "
      "(names) | target |")
    w("|---:|---:|---:|---:|---:|---|")
    targets = {1000: 1.0, 10000: 8.0}
    for n in SIZES:
        t = times.get(("BM_Keystroke", n))
        target = targets.get(n)
        goal = "≤ %g ms: %s" % (target, verdict(t is not None and t <= target)) if target else ""
        w("| %d | %s ms | %s ns | %s ms | %s ms | %s |" % (
            n, fmt(t), "%.0f" % (t * 1e6 / n) if t else "-",
            fmt(times.get(("BM_KeystrokePainted", n))), fmt(times.get(("BM_FreshNames", n))),
            goal))
    k1, k4 = times.get(("BM_Keystroke", 10000)), times.get(("BM_Keystroke", 100000))
    if k1 and k4:
        w("")
        w("Growth: ×%.1f from 10,000 to 100,000 projects (fitted: %s); no worse than linear: "
          "%s." % (k4 / k1, complexity.get("BM_Keystroke", "?"), verdict(k4 / k1 <= 12)))
    w("")
    w("With \"Most used first\" (\"Order\" = \"use\"; 500 projects with launch records, "
      "up to 32 each): the same keystrokes, the matches ordered by score, and the empty "
      "text listing the five most used:")
    w("")
    w("| projects | runSearch, most used first | empty text, five most used | target |")
    w("|---:|---:|---:|---|")
    for n in SIZES:
        t = times.get(("BM_KeystrokeByUse", n))
        target = targets.get(n)
        goal = "≤ %g ms: %s" % (target, verdict(t is not None and t <= target)) if target else ""
        w("| %d | %s ms | %s ms | %s |" % (n, fmt(t), fmt(times.get(("BM_EmptyTextByUse", n))),
                                         goal))
    w("")
    w("Breakdown (ms) — store read (kept parse, checked by the file's stamp), filter alone, "
      "full parse of a changed store, opening the panel, launch (to the terminal program's "
      "start, /bin/true):")
    w("")
    w("| projects | read names | filter | full parse | open panel | launch |")
    w("|---:|---:|---:|---:|---:|---:|")
    for n in SIZES:
        w("| %d | %s | %s | %s | %s | %s |" % (
            n, fmt(times.get(("BM_ReadNames", n))), fmt(times.get(("BM_FilterOnly", n))),
            fmt(times.get(("BM_FreshParse", n))), fmt(times.get(("BM_OpenPanel", n))),
            fmt(times.get(("BM_Launch", n)))))
    w("")

    # 2. zarvo search against fzf.
    s = whole["search"]
    w("### 2. `zarvo search` against `fzf --filter` (%d projects, hyperfine)" %
      whole["store_projects"])
    w("")
    w("| | mean | min | user | system | lines printed |")
    w("|---|---:|---:|---:|---:|---:|")
    w("| zarvo search | %s ms | %s ms | %s ms | %s ms | %d |" % (
        fmt(s["zarvo_mean_ms"]), fmt(s["zarvo_min_ms"]), fmt(s["zarvo_user_ms"]),
        fmt(s["zarvo_system_ms"]), s["zarvo_matches"]))
    w("| fzf --filter | %s ms | %s ms | %s ms | %s ms | %d |" % (
        fmt(s["fzf_mean_ms"]), fmt(s["fzf_min_ms"]), fmt(s["fzf_user_ms"]),
        fmt(s["fzf_system_ms"]), s["fzf_matches"]))
    w("")
    w("Ratio zarvo / fzf (means): **%.2f**; target < 1: %s." % (
        s["ratio"], verdict(s["ratio"] < 1)))
    w("")

    # 3-6.
    st, hk, mem, la = whole["startup"], whole["hot_key"], whole["memory"], whole["launch"]
    rofi = whole.get("rofi")
    w("### 3.-6. The application on Xvfb (with a tray)")
    w("")
    w("| measurement | median | min | max | target |")
    w("|---|---:|---:|---:|---|")
    w("| 3. start to \"Ready\" (%d runs) | %s ms | %s ms | %s ms | ≤ 150 ms: %s |" % (
        st["runs"], fmt(st["median_ms"]), fmt(st["min_ms"]), fmt(st["max_ms"]),
        verdict(st["median_ms"] <= 150)))
    w("| 4. hot key to panel mapped (%d runs) | %s ms | %s ms | %s ms | |" % (
        hk["map"]["runs"], fmt(hk["map"]["median_ms"]), fmt(hk["map"]["min_ms"]),
        fmt(hk["map"]["max_ms"])))
    w("| 4. hot key to the panel's first frame | %s ms | %s ms | %s ms | ≤ 20 ms: %s |" % (
        fmt(hk["frame"]["median_ms"]), fmt(hk["frame"]["min_ms"]), fmt(hk["frame"]["max_ms"]),
        verdict(hk["frame"]["median_ms"] <= 20)))
    w("| 4. the same, first opening after start-up (1 run) | %s ms | | | ≤ 20 ms: %s |" % (
        fmt(hk["first_open_frame_ms"]), verdict(hk["first_open_frame_ms"] <= 20)))
    if rofi:
        w("| 4. peer: `rofi -show run`, start to mapped | %s ms | %s ms | %s ms | |" % (
            fmt(rofi["map"]["median_ms"]), fmt(rofi["map"]["min_ms"]),
            fmt(rofi["map"]["max_ms"])))
        w("| 4. peer: `rofi -show run`, start to first frame | %s ms | %s ms | %s ms | |" % (
            fmt(rofi["frame"]["median_ms"]), fmt(rofi["frame"]["min_ms"]),
            fmt(rofi["frame"]["max_ms"])))
    w("| 6. Return to the terminal process started (%d runs) | %s ms | %s ms | %s ms | "
      "≤ 20 ms: %s |" % (la["runs"], fmt(la["median_ms"]), fmt(la["min_ms"]), fmt(la["max_ms"]),
                         verdict(la["median_ms"] <= 20)))
    w("")
    cycles = mem["after_cycles_kib"]
    last = max(cycles, key=int)
    w("5. Resident memory (%d projects): after start-up %.1f MiB; after open/search/close "
      "cycles %s; after the launches %.1f MiB. Target ≤ 40 MiB idle: %s; growth from cycle 10 "
      "to %s: %+d KiB." % (
          whole["store_projects"], mem["after_start_kib"] / 1024,
          ", ".join("%s: %.1f MiB" % (c, v / 1024) for c, v in sorted(
              cycles.items(), key=lambda kv: int(kv[0]))),
          mem["after_launches_kib"] / 1024,
          verdict(max([mem["after_start_kib"]] + list(cycles.values())) <= 40 * 1024),
          last, mem["growth_10_to_last_kib"]))
    if leak_path:
        with open(leak_path) as f:
            leak = json.load(f)["leak_check"]
        suppressed = [l for l in leak["report"] if re.match(r"^\d+\s+\d+\s", l)]
        w("")
        w("5. Leak check: LeakSanitizer over %d open/search/close cycles (a launch every 20th) "
          "and the quit, AddressSanitizer build: %s (exit status %s); %s. No leaks: %s." % (
              leak["cycles"], leak["summary"], leak["exit_status"],
              "suppressed inside system libraries (tests/sanitizer/lsan.supp): " + "; ".join(
                  "%s allocation(s), %s bytes in %s" % tuple(l.split()[:3]) for l in suppressed)
              if suppressed else "nothing suppressed", verdict(leak["leaks"] == 0)))
    scan_section(whole, w)
    return "\n".join(out) + "\n"


def scan_section(whole, w):
    """7. zarvo scan against find, when the run measured it."""
    sc = whole.get("scan")
    if not sc:
        return
    w("")
    w("### 7. `zarvo scan` against `find -name .git -prune` (%d folders, %d projects, warm, "
      "hyperfine)" % (sc["folders"], sc["projects"]))
    w("")
    w("| | mean | min | user | system | lines printed | target |")
    w("|---|---:|---:|---:|---:|---:|---|")
    w("| zarvo scan --dry-run | %s ms | %s ms | %s ms | %s ms | %d | ≤ 500 ms: %s |" % (
        fmt(sc["zarvo_mean_ms"]), fmt(sc["zarvo_min_ms"]), fmt(sc["zarvo_user_ms"]),
        fmt(sc["zarvo_system_ms"]), sc["zarvo_found"], verdict(sc["zarvo_mean_ms"] <= 500)))
    w("| find -name .git -prune | %s ms | %s ms | %s ms | %s ms | %d | |" % (
        fmt(sc["find_mean_ms"]), fmt(sc["find_min_ms"]), fmt(sc["find_user_ms"]),
        fmt(sc["find_system_ms"]), sc["find_lines"]))
    w("")
    w("Ratio zarvo / find (means): **%.2f**; target ≤ 1.5: %s." % (
        sc["ratio"], verdict(sc["ratio"] <= 1.5)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--inprocess")
    parser.add_argument("--whole")
    parser.add_argument("--leak")
    parser.add_argument("--into")
    parser.add_argument("--scan")
    args = parser.parse_args()
    if args.scan:
        with open(args.scan) as f:
            lines = []
            scan_section(json.load(f), lines.append)
        sys.stdout.write("\n".join(lines[1:]) + "\n")
        return
    if not args.inprocess or not args.whole:
        parser.error("--inprocess and --whole are needed")
    text = report(args.inprocess, args.whole, args.leak)
    if not args.into:
        sys.stdout.write(text)
        return
    with open(args.into) as f:
        doc = f.read()
    pattern = re.compile(re.escape(BEGIN) + ".*?" + re.escape(END), re.S)
    if not pattern.search(doc):
        sys.exit("report.py: no %s ... %s in %s" % (BEGIN, END, args.into))
    doc = pattern.sub(lambda _: BEGIN + "\n" + text + END, doc)
    with open(args.into, "w") as f:
        f.write(doc)


if __name__ == "__main__":
    main()
