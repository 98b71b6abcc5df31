#!/usr/bin/env python3
"""Whole runs on a busy machine, at the default thread count and on one thread.

    bench/contention_runs.py [--trials T] [--busy B] [--valto PROGRAM] [--only TEXT]

Each example (examples/*/<name>.prj and the other projects of its folder
that run on their own) and a tilted V of 201 x 201 cells of 10 m (its sides
falling 5 % to the middle column, which falls 2 % to the outlet on the
south edge; 20 mm/h of rain for the 30 minutes simulated, steps of 1 s),
routed once by the ADE and once by the explicit scheme, run first while B
busy processes (8 by default) hold processors: once with no thread setting
at all (no NUM_THREADS card, no OMP_* or GOMP_* variable), as a user
starts it, and once with OMP_NUM_THREADS=1, the two in turn, T times each
(3 by default); the median of each is printed with their ratio (the aim is
at most 1.25) and the load average. Then, with the busy processes stopped,
the grids below 10,000 cells run again at the default and on one thread
(the aim is at most 1.10). Beside the wall times each line gives the
median processor seconds of both settings. With --only, just the runs whose name holds TEXT
(say "tilted V" or "valley"). The other work of a shared machine adds to the
load average the script prints; its figures say how idle "idle" was.
"""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

V_SIDE = 201
V_DX = 10.0
V_MINUTES = 30


def write_grid(path, rows, cols, dx, values):
    with open(path, "w") as f:
        f.write("north: %.6f\nsouth: 0\neast: %.6f\nwest: 0\nrows: %d\ncols: %d\n"
                % (rows * dx, cols * dx, rows, cols))
        for r in range(rows):
            f.write(" ".join("%.10g" % values[r * cols + c] for c in range(cols)) + "\n")


def write_v(folder, scheme, side=V_SIDE, side_slope=0.05, floor_slope=0.02, rough=0.03,
            rain=20.0, minutes=V_MINUTES, timestep=1.0, hyd_freq=5.0, cards=""):
    """A tilted V of side x side cells of V_DX m: its sides fall side_slope to
    the middle column, which falls floor_slope to the outlet on the south
    edge; rain mm/h for the minutes simulated. The defaults are the V of the
    whole-run benchmark; cards are added to the project as they are."""
    os.makedirs(folder, exist_ok=True)
    n = side
    elevation = [100.0 + floor_slope * V_DX * (n - 1 - r) + side_slope * V_DX * abs(c - n // 2)
                 for r in range(n) for c in range(n)]
    write_grid(os.path.join(folder, "mask.asc"), n, n, V_DX, [1.0] * (n * n))
    write_grid(os.path.join(folder, "elevation.asc"), n, n, V_DX, elevation)
    write_grid(os.path.join(folder, "roughness.asc"), n, n, V_DX, [rough] * (n * n))
    with open(os.path.join(folder, "v.prj"), "w") as p:
        p.write("VALTOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elevation.asc\n"
                "ROUGHNESS roughness.asc\nGRIDSIZE %g\nROWS %d\nCOLS %d\nOUTROW %d\nOUTCOL %d\n"
                "OUTSLOPE %g\nOVERTYPE %s\nTIMESTEP %g\nTOT_TIME %d\nPRECIP_UNIF\n"
                "RAIN_INTENSITY %g\nRAIN_DURATION %d\nSTART_DATE 2001 7 15\nSTART_TIME 0 0\n"
                "HYD_FREQ %.10g\nMAP_FREQ 600\nQUIET\nSUMMARY v_summary.out\n"
                "OUTLET_HYDRO v_outlet.hyd\n%s"
                % (V_DX, n, n, n, n // 2 + 1, floor_slope, scheme, timestep, minutes, rain,
                   minutes, hyd_freq, cards))


def cells_of(folder, project):
    """Cells of the project's watershed mask (its nonzero values)."""
    mask = None
    with open(os.path.join(folder, project)) as p:
        for line in p:
            w = line.split()
            if len(w) > 1 and w[0] == "WATERSHED_MASK":
                mask = w[1]
    count = 0
    with open(os.path.join(folder, mask)) as m:
        for line in m:
            w = line.split()
            if w and w[0].endswith(":"):
                continue
            count += sum(1 for v in w if float(v) != 0.0)
    return count


def cases(work):
    """(name, folder, project, cells) of every run."""
    out = []
    for example in sorted(os.listdir(os.path.join(HERE, "examples"))):
        source = os.path.join(HERE, "examples", example)
        if not os.path.isdir(source):  # the plotting script and its picture
            continue
        folder = os.path.join(work, example)
        shutil.copytree(source, folder)
        for project in sorted(f for f in os.listdir(folder) if f.endswith(".prj")):
            # A calibration project runs under its driver, not on its own.
            if "_calib" in project:
                continue
            out.append(("%s/%s" % (example, project), folder, project,
                        cells_of(folder, project)))
    for scheme in ("ade", "explicit"):
        folder = os.path.join(work, "v_" + scheme)
        write_v(folder, scheme)
        out.append(("tilted V 201 x 201, %s" % scheme, folder, "v.prj", V_SIDE * V_SIDE))
    return out


def environment(one_thread):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("OMP_") and not k.startswith("GOMP_")}
    if one_thread:
        env["OMP_NUM_THREADS"] = "1"
    return env


def seconds_of(valto, folder, project, one_thread):
    """Wall seconds of one run, and the processor seconds (user and system)
    its threads took: on a shared machine the wall time swings with the
    other work, the processor time says whether the run itself did more."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    done = subprocess.run([valto, project], cwd=folder, env=environment(one_thread),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=1800)
    took = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        sys.exit("%s in %s ended with status %d" % (project, folder, done.returncode))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return took, cpu


def load():
    return "%.2f %.2f %.2f" % os.getloadavg()


def compare(valto, runs, trials, aim, title):
    print(title)
    print("  %-34s %7s %10s %10s %7s %9s %9s  %s" % ("run", "cells", "default s", "1 thread s",
                                                     "ratio", "cpu def s", "cpu 1 s",
                                                     "load average"))
    worst = 0.0
    for name, folder, project, cells in runs:
        default, single = [], []
        for _ in range(trials):
            default.append(seconds_of(valto, folder, project, False))
            single.append(seconds_of(valto, folder, project, True))
        d = statistics.median(t for t, _ in default)
        s = statistics.median(t for t, _ in single)
        d_cpu = statistics.median(c for _, c in default)
        s_cpu = statistics.median(c for _, c in single)
        ratio = d / s
        worst = max(worst, ratio)
        print("  %-34s %7d %10.3f %10.3f %7.2f %9.3f %9.3f  %s%s"
              % (name, cells, d, s, ratio, d_cpu, s_cpu, load(),
                 "" if ratio <= aim else "  ABOVE %.2f" % aim))
        sys.stdout.flush()
    print("  worst ratio %.2f (aim at most %.2f); load average %s" % (worst, aim, load()))
    return worst <= aim


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--trials", type=int, default=3)
    parser.add_argument("--busy", type=int, default=8)
    parser.add_argument("--valto", default=os.path.join(HERE, "build", "release", "valto"))
    parser.add_argument("--only", default="")
    a = parser.parse_args()
    valto = os.path.abspath(a.valto)
    work = tempfile.mkdtemp(prefix="valto_contention_")
    busy = []
    try:
        runs = [r for r in cases(work) if a.only in r[0]]
        print("program %s, %d trials a setting, %d processors; load average at the start %s"
              % (valto, a.trials, os.cpu_count(), load()))
        busy = [subprocess.Popen([sys.executable, "-c", "while True: pass"])
                for _ in range(a.busy)]
        time.sleep(2)
        busy_ok = compare(valto, runs, a.trials, 1.25,
                          "with %d busy processes: default (no thread setting) against 1 thread"
                          % a.busy)
        for p in busy:
            p.kill()
            p.wait()
        busy = []
        time.sleep(5)
        small = [r for r in runs if r[3] < 10000]
        idle_ok = compare(valto, small, a.trials, 1.10,
                          "without busy processes (load average %s), grids below 10,000 cells"
                          % load())
    finally:
        for p in busy:
            p.kill()
            p.wait()
        shutil.rmtree(work, ignore_errors=True)
    return 0 if busy_ok and idle_ok else 1


if __name__ == "__main__":
    sys.exit(main())
