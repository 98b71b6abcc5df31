#!/usr/bin/env python3
"""Runs the shipped examples and holds the README's figures against them.

    python3 examples/readme_figures.py [--valto PATH] [--readme PATH] [--update]

Each figure the README quotes (cell counts, volumes, balances, the
calibration's end point) is found in the README by a pattern and in the
run's own output by another. A figure that differs is printed with the
README's value and the run's; with --update the README takes the run's
values in place. It also checks that no example prints a warning, that every
file an example writes is named in the README, and that basin_calib.obs is
what make_calib_obs.sh makes from the model now. Python's standard library
only; plot_basin.py is run too when matplotlib is installed.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# The example runs: name, folder under examples/, command-line arguments.
RUNS = [
    ("valley", "valley", ["valley.prj"]),
    ("basin", "basin", ["basin.prj"]),
    ("tracers", "basin", ["basin_tracers.prj"]),
    ("sce", "basin", ["-c", "basin_sce.in"]),
    ("mc", "basin", ["-m6", "basin_mc.in"]),
]

NUMBER = r"(-?[0-9][0-9.e+-]*)"

# name, README pattern (one group), run, file ("stdout" for the screen),
# output pattern (one group), which match of the output pattern (0 first).
FIGURES = [
    ("valley cells", r"synthetic valley of (\d+) cells", "valley", "stdout",
     r"number of grid cells in watershed: (\d+)", 0),
    ("valley precipitation", r"Total amount of precip=\s+" + NUMBER, "valley",
     "valley_summary.out", r"Total amount of precip=\s+" + NUMBER, 0),
    ("valley discharge", r"Total amount of discharge=\s+" + NUMBER, "valley",
     "valley_summary.out", r"Total amount of discharge=\s+" + NUMBER, 0),
    ("valley water left", r"Final volume on surface=\s+" + NUMBER, "valley",
     "valley_summary.out", r"Final volume on surface=\s+" + NUMBER, 0),
    ("valley balance", r"Overall mass balance error =\s+" + NUMBER, "valley",
     "valley_summary.out", r"Overall mass balance error =\s+" + NUMBER, 0),
    ("basin cells", r"[Aa] basin of (\d+) cells of 100 m", "basin", "stdout",
     r"number of grid cells in watershed: (\d+)", 0),
    ("basin precipitation", r"brings " + NUMBER + r" m3 of rain and snow", "basin",
     "basin_summary.out", r"Total amount of precip=\s+" + NUMBER, 0),
    ("basin discharge", NUMBER + r" m3 leave through the outlet", "basin",
     "basin_summary.out", r"Total amount of discharge=\s+" + NUMBER, 0),
    ("basin first peak", r"storm peaks of " + NUMBER + r" and", "basin",
     "basin_summary.out", r"Event peak discharge \(cubic meters per second\):\s+" + NUMBER, 0),
    ("basin second peak", r"storm peaks of \S+ and " + NUMBER + r" m3/s", "basin",
     "basin_summary.out", r"Event peak discharge \(cubic meters per second\):\s+" + NUMBER, 1),
    ("basin overall balance", r"\| overall water \| [^|]*\| " + NUMBER + r" percent \|",
     "basin", "basin_summary.out", r"Overall mass balance error =\s+" + NUMBER, 0),
    ("basin surface balance", r"\| surface \| [^|]*\| " + NUMBER + r" percent \|", "basin",
     "basin_summary.out", r"Mass balance error of surface components =\s+" + NUMBER, 0),
    ("basin soil balance", r"\| soil moisture \| [^|]*\| " + NUMBER + r" percent \|", "basin",
     "basin_summary.out", r"Simple soil moisture mass balance =\s+" + NUMBER, 0),
    ("basin aquifer balance", r"\| groundwater \| [^|]*\| " + NUMBER + r" % \|", "basin",
     "basin_summary.out", r"Mass Balance error =\s+" + NUMBER, 0),
    ("basin lake balance", r"\| lake \| [^|]*\| " + NUMBER + r" m3 \|", "basin",
     "basin_summary.out", r"Perennial lake mass bal error m\^3=\s+" + NUMBER, 0),
    ("basin channel sediment", r"\| channel sediment \| [^|]*\| " + NUMBER + r" percent \|",
     "basin", "basin_summary.out", r"Overall channel sediment mass cons. error:\s+" + NUMBER, 0),
    ("basin first lake evaporation", r"lake's evaporation during the events \(" + NUMBER,
     "basin", "basin_summary.out", r"volume of lake evaporation:\s+" + NUMBER, 0),
    ("basin second lake evaporation",
     r"lake's evaporation during the events \(\S+ and " + NUMBER + r" m3", "basin",
     "basin_summary.out", r"volume of lake evaporation:\s+" + NUMBER, 1),
    ("tracer decay on the land", r"decays by " + NUMBER + r" g on the land", "tracers",
     "tracers/tracers_summary.out", r"Mass decay loss on overland\s+" + NUMBER, 1),
    ("sce end point, RET", r"ends at " + NUMBER + r" and", "sce", "sce_output.out",
     r"CRITERION VALUE \*\*\*\s*\n\S+ (\S+) \S+", 0),
    ("sce end point, KRIV", r"ends at \S+ and " + NUMBER + r" with", "sce", "sce_output.out",
     r"CRITERION VALUE \*\*\*\s*\n\S+ \S+ (\S+)", 0),
    ("sce cost", r"with a cost of " + NUMBER + r" after", "sce", "sce_output.out",
     r"CRITERION VALUE \*\*\*\s*\n(\S+)", 0),
    ("sce runs", r"after (\d+) runs", "sce", "stdout",
     r"The best results of the SCE calibration after (\d+) runs", 0),
    ("mc best cost", r"the best of the six costs " + NUMBER, "mc", "stdout",
     r"Best objective function value: " + NUMBER, 0),
]


def run_examples(valto, work):
    """Runs every example in a copy of examples/; gives each run's folder and
    screen output."""
    shutil.copytree(HERE, os.path.join(work, "examples"))
    results = {}
    for name, folder, args in RUNS:
        where = os.path.join(work, "examples", folder)
        before = set(walk(where))
        done = subprocess.run([valto] + args, cwd=where, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, universal_newlines=True)
        written = sorted(set(walk(where)) - before)
        if done.returncode != 0:
            sys.exit("%s: valto %s ended with status %d:\n%s" %
                     (name, " ".join(args), done.returncode, done.stdout[-3000:]))
        results[name] = (where, done.stdout, written)
    return results


def walk(folder):
    for top, _, files in os.walk(folder):
        for f in files:
            yield os.path.relpath(os.path.join(top, f), folder)


def output_value(results, run, name, pattern, index):
    where, screen, _ = results[run]
    if name == "stdout":
        text = screen
    else:
        with open(os.path.join(where, name)) as f:
            text = f.read()
    found = re.findall(pattern, text)
    if len(found) <= index:
        return None
    return found[index]


def same_figure(quoted, actual):
    """A printed -0.000000 is the 0.000000 the README quotes."""
    try:
        return float(quoted) == float(actual)
    except ValueError:
        return quoted == actual


def check_figures(readme, results, update):
    faults = []
    for label, readme_pattern, run, name, pattern, index in FIGURES:
        actual = output_value(results, run, name, pattern, index)
        m = re.search(readme_pattern, readme)
        if actual is None:
            faults.append("%s: the run's %s holds no match of %r" % (label, name, pattern))
            continue
        if m is None:
            faults.append("%s: the README holds no match of %r (the run gives %s)" %
                          (label, readme_pattern, actual))
            continue
        if not same_figure(m.group(1), actual):
            faults.append("%s: README %s, run %s" % (label, m.group(1), actual))
            if update:
                readme = readme[:m.start(1)] + actual + readme[m.end(1):]
    return readme, faults


def written_name(path):
    """The name the README gives a written file: without a trial's 0000_
    prefix and with a map's number as NNNN."""
    base = os.path.basename(path)
    base = re.sub(r"^\d{4}_", "", base)
    return re.sub(r"\.\d{4}\.asc$", ".NNNN.asc", base)


def check_outputs_named(readme, results):
    faults = []
    inputs = set(walk(HERE))
    for name, (_, screen, written) in results.items():
        for line in screen.splitlines():
            if "warning" in line.lower():
                faults.append("%s prints a warning: %s" % (name, line.strip()))
        for path in written:
            if path in inputs:
                continue
            shown = written_name(path)
            base = os.path.basename(path)
            if "`" + shown + "`" not in readme and "`" + base + "`" not in readme:
                faults.append("%s writes %s, which the README's output table does not name" %
                              (name, shown))
    return faults


def check_observations(valto, work):
    made = os.path.join(work, "made.obs")
    done = subprocess.run([os.path.join(HERE, "basin", "make_calib_obs.sh"), valto, made],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True)
    if done.returncode != 0:
        return ["make_calib_obs.sh failed:\n" + done.stdout]
    with open(made) as f:
        now = f.read()
    with open(os.path.join(HERE, "basin", "basin_calib.obs")) as f:
        kept = f.read()
    if now != kept:
        return ["basin_calib.obs is not what the model gives now; rerun "
                "examples/basin/make_calib_obs.sh.\ncommitted:\n%sthe model:\n%s" % (kept, now)]
    return []


def check_plot(results, work):
    try:
        import matplotlib  # noqa: F401
        import numpy  # noqa: F401
    except ImportError:
        print("plot_basin.py not run: matplotlib or numpy is missing")
        return []
    where = results["basin"][0]
    picture = os.path.join(work, "basin.png")
    done = subprocess.run([sys.executable, os.path.join(HERE, "plot_basin.py"), where, picture],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True)
    if done.returncode != 0 or not os.path.getsize(picture):
        return ["plot_basin.py failed:\n" + done.stdout]
    return []


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--valto", default=os.path.join(ROOT, "build", "release", "valto"))
    parser.add_argument("--readme", default=os.path.join(ROOT, "README.md"))
    parser.add_argument("--update", action="store_true",
                        help="write the runs' figures into the README")
    args = parser.parse_args()
    valto = os.path.abspath(args.valto)
    with open(args.readme) as f:
        readme = f.read()
    work = tempfile.mkdtemp(prefix="valto_readme_")
    try:
        results = run_examples(valto, work)
        updated, faults = check_figures(readme, results, args.update)
        others = check_outputs_named(readme, results)
        others += check_observations(valto, work)
        others += check_plot(results, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if args.update and updated != readme:
        with open(args.readme, "w") as f:
            f.write(updated)
        print("README updated: %d figures" % len(faults))
        faults = []
    for fault in faults + others:
        print(fault)
    if faults or others:
        return 1
    print("every README figure matches its run (%d figures)" % len(FIGURES))
    return 0


if __name__ == "__main__":
    sys.exit(main())
