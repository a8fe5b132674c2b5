#!/usr/bin/env python3
"""Measures kestrune and aplay side by side on the same files, in one run,
and prints one table (Markdown). aplay runs twice: with its own defaults,
and with the player's period and buffer (4096 and 16384 frames), so that
both make the same number of writes: the "same work" the ratio compares.

    bench/run.py BUILD_FOLDER [--no-realtime]

BUILD_FOLDER holds a Release build with the benchmark tools
(make_bench_files, get_attributes_bench) and kestrune.
"""
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 5
STARTUP_RUNS = 21


def run(cmd, env=None):
    """Runs cmd to its end; returns (wall s, user+sys s)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    if status != 0:
        sys.exit(f"bench: {' '.join(cmd)} failed with status {status}")
    return wall, usage.ru_utime + usage.ru_stime


def peak_rss(cmd):
    """Peak resident memory in KiB. GNU time measures it: a child forked
    from this interpreter would count the interpreter's memory as its own."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + cmd, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return int(report.read().split()[-1])


def valgrind(options, cmd, pattern):
    """Runs cmd under valgrind; returns the figure `pattern` finds in its report."""
    with tempfile.TemporaryDirectory() as scratch:
        options = [o.replace("SCRATCH", scratch) for o in options]
        report = subprocess.run(["valgrind"] + options + cmd, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                text=True).stderr
    match = re.search(pattern, report)
    if not match:
        sys.exit(f"bench: no figure from valgrind for {' '.join(cmd)}:\n{report}")
    return int(match.group(1).replace(",", ""))


def instructions(cmd):
    return valgrind(["--tool=callgrind", "--callgrind-out-file=SCRATCH/out"], cmd,
                    r"I\s+refs:\s+([\d,]+)")


def allocations(cmd):
    return valgrind(["--tool=memcheck"], cmd, r"total heap usage: ([\d,]+) allocs")


def ratio(a, b):
    return f"{a / b:.2f}" if b else "-"


def header_reads(cmd, path):
    """The read and seek calls on `path` in one header reading: the run
    starts and exits, reading the header twice."""
    trace = subprocess.run(["strace", "-y", "-e", "trace=read,pread64,lseek"] + cmd,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, text=True).stderr
    return sum(1 for line in trace.splitlines() if f"<{path}>" in line) // 2


def main():
    build = os.path.abspath(sys.argv[1])
    realtime = "--no-realtime" not in sys.argv
    kestrune = os.path.join(build, "kestrune")
    files = os.path.join(build, "bench-files")
    needed = ["stereo16.wav", "stereo24.wav", "mono16.wav", "mono24.wav", "stereo16-1min.wav",
              "canonical.wav", "worst-case.wav", "stereo16-1hour.wav", "stereo16-1gib.wav",
              "stereo16-20min-48k.wav", "stereo24-20min-48k.wav", "stereo16-48k.wav",
              "stereo24-192k.wav"]
    if not all(os.path.exists(os.path.join(files, name)) for name in needed):
        os.makedirs(files, exist_ok=True)
        subprocess.run([os.path.join(build, "make_bench_files"), files], check=True)
    f = lambda name: os.path.join(files, name)

    def k(path, *selection):
        return [kestrune, "null", path] + (list(selection) or ["0", "0", "wx"])

    def a(path, device="null", same=False):
        work = ["--period-size=4096", "--buffer-size=16384"] if same else []
        return ["aplay", "-q", "-D", device] + work + [path]

    rows = []  # (measure, file, kestrune, aplay, aplay same work, ratio to same work)

    def row(measure, name, mine, theirs, same, fmt):
        shown = lambda v: fmt(v) if v is not None else "-"
        rows.append((measure, name, fmt(mine), shown(theirs), shown(same),
                     ratio(mine, same) if same is not None else "-"))

    layouts = [("stereo16.wav", "16-bit stereo"), ("stereo24.wav", "24-bit stereo"),
               ("mono16.wav", "16-bit mono"), ("mono24.wav", "24-bit mono")]
    millions = lambda v: f"{v / 1e6:.2f} M"
    for name, label in layouts:
        mine = instructions(k(f(name))) / 10
        theirs, same = instructions(a(f(name))) / 10, instructions(a(f(name), same=True)) / 10
        row("instructions per minute of audio (callgrind)", label, mine, theirs, same, millions)
    for name, label in layouts:
        runs_k = [run(k(f(name))) for _ in range(RUNS)]
        runs_a = [run(a(f(name))) for _ in range(RUNS)]
        runs_s = [run(a(f(name), same=True)) for _ in range(RUNS)]
        cpu = lambda runs: statistics.median(r[1] for r in runs) / 10 * 1000
        row("CPU user+sys per minute of audio, median of 5", label, cpu(runs_k), cpu(runs_a),
            cpu(runs_s), lambda v: f"{v:.1f} ms")
        wall = lambda runs: statistics.median(r[0] for r in runs) * 1000
        row("wall time for 10 minutes, median of 5", label, wall(runs_k), wall(runs_a),
            wall(runs_s), lambda v: f"{v:.0f} ms")
        row("peak resident memory", label, peak_rss(k(f(name))), peak_rss(a(f(name))),
            peak_rss(a(f(name), same=True)), lambda v: f"{v} KiB")
    start_k = statistics.median(run(k(f("canonical.wav")))[0] for _ in range(STARTUP_RUNS))
    start_a = statistics.median(run(a(f("canonical.wav")))[0] for _ in range(STARTUP_RUNS))
    start_s = statistics.median(run(a(f("canonical.wav"), same=True))[0]
                                for _ in range(STARTUP_RUNS))
    row(f"start-up to exit, 1-second file, median of {STARTUP_RUNS}", "16-bit stereo",
        start_k * 1000, start_a * 1000, start_s * 1000, lambda v: f"{v:.1f} ms")

    for name in ("canonical", "worst-case"):
        path = f(name + ".wav")
        row("read and seek calls of one header reading (strace)", name,
            header_reads(k(path, "0", "0", "x"), path), None, None, str)

    bench = subprocess.run([os.path.join(build, "get_attributes_bench"),
                            "--benchmark_format=json"],
                           env=dict(os.environ, KESTRUNE_BENCH_FILES=files),
                           capture_output=True, text=True, check=True)
    for b in json.loads(bench.stdout)["benchmarks"]:
        label = b["name"].split("/")[1].replace("_", "-")
        row("one GetAttributes call (Google Benchmark)", label, b["real_time"], None, None,
            lambda v: f"{v / 1000:.1f} µs")

    one = allocations(k(f("stereo16.wav"), "0", "60", "px"))
    ten = allocations(k(f("stereo16.wav"), "0", "600", "px"))
    rows.append(("heap allocations, 1-minute vs 10-minute selection (memcheck)",
                 "16-bit stereo", f"{one} vs {ten}", "-", "-",
                 "same" if one == ten else "DIFFERENT"))

    if realtime and shutil.which("pulseaudio"):
        cpu_k, cpu_a, cpu_s = realtime_cpu(kestrune, f("stereo16.wav"), f("stereo16-1min.wav"))
        row("CPU user+sys of a 60-second real-time play (PulseAudio null sink)",
            "16-bit stereo", cpu_k * 1000, cpu_a * 1000, cpu_s * 1000, lambda v: f"{v:.0f} ms")

    print("| measure | file | kestrune | aplay | aplay, same work | kestrune / aplay, same work |")
    print("|---|---|---|---|---|---|")
    for r in rows:
        print("| " + " | ".join(r) + " |")
    print()
    print("| measure | kestrune | compared with | its time | ratio |")
    print("|---|---|---|---|---|")
    for r in cutting(kestrune, f("stereo16-1hour.wav"), f("stereo16-1gib.wav"), f):
        print("| " + " | ".join(r) + " |")
    return 1 if one != ten else 0


def timed(cmd, text=None):
    """Wall time of one run of cmd, with `text` as its console."""
    start = time.monotonic()
    subprocess.run(cmd, input=text, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=True)
    return time.monotonic() - start


def cutting(kestrune, hour, gib, f):
    """The view of a one-hour selection, and of twenty minutes at 48 kHz at
    both widths, against cat of the same bytes, from the page cache; the
    seam search at 48 and 192 kHz against the same run without it; the save
    of a gibibyte against cp, which does not flush the copy to the disk as
    the save does, and against cp with that flush."""
    rows = []
    for path, what in ((hour, "a one-hour 16-bit stereo"),
                       (f("stereo16-20min-48k.wav"), "a 20-minute 48 kHz 16-bit stereo"),
                       (f("stereo24-20min-48k.wav"), "a 20-minute 48 kHz 24-bit stereo")):
        timed(["cat", path])
        view = statistics.median(timed([kestrune, "null", path], b"v\nx\n") for _ in range(11))
        cat = statistics.median(timed(["cat", path]) for _ in range(11))
        rows.append((f"view {what} selection (v), median of 11", f"{view * 1000:.0f} ms",
                     "cat of the file to /dev/null", f"{cat * 1000:.0f} ms", ratio(view, cat)))
    for name, what in (("stereo16-48k.wav", "48 kHz 16-bit"), ("stereo24-192k.wav", "192 kHz 24-bit")):
        seam = [kestrune, "null", f(name), "1", "5"]
        match = statistics.median(timed(seam, b"m\nx\n") for _ in range(11))
        alone = statistics.median(timed(seam, b"x\n") for _ in range(11))
        rows.append((f"match the seam of a {what} stereo selection (m), median of 11",
                     f"{match * 1000:.1f} ms", "the same run without m", f"{alone * 1000:.1f} ms",
                     ratio(match, alone)))
    with tempfile.TemporaryDirectory(dir=os.path.dirname(gib)) as scratch:
        copy = os.path.join(scratch, "copy.wav")

        def fresh(cmd, text=None):
            subprocess.run(["sync"], check=True)
            seconds = timed(cmd, text)
            os.unlink(copy)
            return seconds
        save = statistics.median(fresh([kestrune, "null", gib], f"s\n{copy}\nx\n".encode())
                                 for _ in range(3))
        cp = statistics.median(fresh(["cp", gib, copy]) for _ in range(3))
        synced = statistics.median(fresh(["sh", "-c", f"cp '{gib}' '{copy}' && sync '{copy}'"])
                                   for _ in range(3))
    size = f"{os.path.getsize(gib) / 2**30:.2f} GiB"
    for label, theirs in (("cp, then sync of the copy", synced), ("cp alone, not flushed", cp)):
        rows.append((f"save a {size} selection (s), flushed to the disk, median of 3",
                     f"{save:.2f} s", label, f"{theirs:.2f} s", ratio(save, theirs)))
    return rows


def realtime_cpu(kestrune, ten_minutes, one_minute):
    with tempfile.TemporaryDirectory() as scratch:
        runtime, home = os.path.join(scratch, "runtime"), os.path.join(scratch, "home")
        os.mkdir(runtime, 0o700)
        os.mkdir(home, 0o700)
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, HOME=home)
        subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
                        "-L", "module-null-sink sink_name=out",
                        "-L", "module-native-protocol-unix", "-L", "module-always-sink"],
                       env=env, check=True, stderr=subprocess.DEVNULL)
        try:
            for _ in range(100):
                if subprocess.run(["pactl", "info"], env=env, capture_output=True).returncode == 0:
                    break
                time.sleep(0.05)
            mine = run([kestrune, "pulse", ten_minutes, "0", "60", "px"], env=env)[1]
            theirs = run(["aplay", "-q", "-D", "pulse", one_minute], env=env)[1]
            same = run(["aplay", "-q", "-D", "pulse", "--period-size=4096",
                        "--buffer-size=16384", one_minute], env=env)[1]
        finally:
            subprocess.run(["pactl", "exit"], env=env, capture_output=True)
    return mine, theirs, same


if __name__ == "__main__":
    sys.exit(main())
