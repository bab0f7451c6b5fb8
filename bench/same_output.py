#!/usr/bin/env python3
"""Runs two builds of siteprep on the examples and on random batches, in
every mode, and reports any difference in standard output, standard error,
exit status or the files left behind.

usage: bench/same_output.py BASE_BIN NEW_BIN [BATCHES]
"""
import filecmp
import os
import random
import shutil
import subprocess
import sys
import tempfile

MODES = [
    [],
    ["--jobs", "1"],
    ["--check"],
    ["--check", "--strict", "--jobs", "1"],
    ["--keep-going"],
    ["--keep-going", "--keep-soils", "--jobs", "3"],
    ["--summary", "s.csv", "--report", "r.html"],
    ["--check", "--summary", "s.csv", "--report", "r.html"],
    ["--keep-going", "--summary", "s.csv", "--report", "r.html", "--keep-soils"],
    ["--part", "1/2", "--failed", "failed.txt"],
    ["--keep-going", "--part", "2/2", "--failed", "failed.txt", "--sync"],
    ["--scratch", "scratch", "--keep-soils", "--jobs", "2"],
    ["--check", "--part", "2/3", "--scratch", "scratch"],
]


def daily_file(rng, years):
    """A daily file with the usual slips: gaps, bad lines, missing values."""
    eol = "\r\n" if rng.random() < 0.1 else "\n"
    lines = []
    first = rng.choice([1950, 1990, 2001])
    for y in range(first, first + years):
        for m in range(1, 13):
            if rng.random() < 0.02:
                continue  # a month missing
            for d in range(1, 32 if m != 2 else 30):
                if rng.random() < 0.01:
                    continue
                tmax = rng.uniform(-10, 35)
                tmin = tmax - rng.uniform(0, 15)
                prec = rng.choice([0, 0, rng.uniform(0, 3), -99.99])
                fmt = rng.choice(["%d %d %d %d %.1f %.1f %.2f",
                                  "%3d %3d %5d %4d %7.2f %7.2f %7.2f"])
                lines.append(fmt % (d, m, y, d, tmax, tmin, prec))
    if rng.random() < 0.05:
        lines.insert(rng.randrange(len(lines)), "1 13 2001 1 1 1 1")
    return eol.join(lines) + eol


def site_file(rng):
    head = ["Site parameters of a plot", "'header two'"]
    block = ["0.0000            'OLD(%d)'" % i for i in range(60)]
    tail = ["%.1f %s" % (rng.uniform(0, 9), k)
            for k in rng.sample(["SITLAT", "SITLNG", "NLAYER", "NLAYPG", "ELEV", "OTHER"], 4)]
    return "\n".join(head + block[:rng.choice([60, 60, 40])] + tail) + "\n"


def make_batch(root, rng):
    rows = []
    for i in range(rng.randint(1, 8)):
        name = rng.choice(["p%d" % i, "data/p%d" % i, "q%d" % i])
        os.makedirs(os.path.join(root, os.path.dirname(name) or "."), exist_ok=True)
        if rng.random() > 0.05:
            with open(os.path.join(root, name + ".sfp"), "w") as f:
                f.write(site_file(rng))
        if rng.random() > 0.05:
            with open(os.path.join(root, name + ".wth"), "w", newline="") as f:
                f.write(daily_file(rng, rng.randint(1, 12)))
        code = rng.choice([1, 3, 9, 12])
        row = "%s %.2f %.2f %s 1.3 0.5 %d %.0f" % (
            name, rng.uniform(-60, 60), rng.uniform(-180, 180),
            rng.choice(["40 40 20", "0.65 0.25 0.10", "0.2 0.3 0.5"]), code,
            rng.uniform(0, 3000))
        if rng.random() < 0.05:
            row = name + " 1 2"
        rows.append(row)
    with open(os.path.join(root, "sites.txt"), "w") as f:
        f.write("\n".join(rows) + "\n")


def run(binary, root, mode):
    if "--scratch" in mode:
        os.makedirs(os.path.join(root, "scratch"), exist_ok=True)
    r = subprocess.run([binary] + mode + ["sites.txt"], cwd=root, capture_output=True)
    return r.returncode, r.stdout, r.stderr


def same_tree(a, b):
    cmp = filecmp.dircmp(a, b)
    if cmp.left_only or cmp.right_only or cmp.diff_files or cmp.funny_files:
        return False
    _, mismatch, errors = filecmp.cmpfiles(a, b, cmp.common_files, shallow=False)
    return not mismatch and not errors and all(
        same_tree(os.path.join(a, d), os.path.join(b, d)) for d in cmp.common_dirs)


def main():
    base, new = sys.argv[1], sys.argv[2]
    batches = int(sys.argv[3]) if len(sys.argv) > 3 else 40
    here = os.path.dirname(os.path.abspath(__file__))
    rng = random.Random(2026)
    differences = runs = 0
    work = tempfile.mkdtemp()
    try:
        for b in range(batches + 1):
            source = os.path.join(work, "source")
            shutil.rmtree(source, ignore_errors=True)
            if b == 0:
                shutil.copytree(os.path.join(here, "..", "examples"), source)
            else:
                os.makedirs(source)
                make_batch(source, rng)
            for mode in MODES:
                results = []
                for name, binary in (("a", base), ("b", new)):
                    root = os.path.join(work, name)
                    shutil.rmtree(root, ignore_errors=True)
                    shutil.copytree(source, root)
                    results.append(run(binary, root, mode))
                runs += 1
                same = results[0] == results[1] and same_tree(
                    os.path.join(work, "a"), os.path.join(work, "b"))
                if not same:
                    differences += 1
                    print("batch %d, mode %s differs" % (b, " ".join(mode)))
                    shutil.copytree(os.path.join(work, "a"), "diff-%d-a" % differences)
                    shutil.copytree(os.path.join(work, "b"), "diff-%d-b" % differences)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d runs, %d differing" % (runs, differences))
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
