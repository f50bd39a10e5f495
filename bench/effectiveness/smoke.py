#!/usr/bin/env python3
"""Smoke case of the effectiveness benchmark for the test suite: a tiny data
set of made-up signatures (one posted picture, its mirrored and brightened
copies, unrelated never-posted ones) run through bench_effectiveness and
tune.py.
Usage: smoke.py BENCH_EFFECTIVENESS"""
import os
import random
import subprocess
import sys
import tempfile

rng = random.Random(5)


def sig():
    return [rng.randint(0, 255) for _ in range(27)]


def mirrored(s):
    cells = [s[3 * k:3 * k + 3] for k in range(9)]
    order = [2, 1, 0, 5, 4, 3, 8, 7, 6]
    return [v for k in order for v in cells[k]]


with tempfile.TemporaryDirectory() as work:
    posted = sig()
    with open(os.path.join(work, "database.tsv"), "w") as db:
        db.write("\t".join(["p0000", "posted picture", "posted", *map(str, posted)]) + "\n")
        for i in range(200):
            db.write("\t".join([f"d{i:05d}", "distractor", "distractor", *map(str, sig())]) + "\n")
    with open(os.path.join(work, "queries.tsv"), "w") as q:
        for half in ("tuning", "heldout"):
            q.write("\t".join([half, "posted", "png", "mild", "p0000", "x", *map(str, posted)]) + "\n")
            q.write("\t".join([half, "posted", "mirror", "hard", "p0000", "x", *map(str, mirrored(posted))]) + "\n")
            q.write("\t".join([half, "never", "original", "never", "", "x", *map(str, sig())]) + "\n")
    out = subprocess.run([sys.argv[1], work, os.path.join(work, "features.tsv")], capture_output=True, text=True)
    print(out.stdout)
    assert out.returncode == 0, out.stderr
    assert "| mirror | hard | 2 | " in out.stdout
    heldout = out.stdout.split("Verdict, held-out half.")[1]
    assert "| hard edits | 1 | 100.0 % |" in heldout, heldout
    assert "| never posted | 1 | 0.0 % | 0.0 % |" in heldout, heldout
    assert len(open(os.path.join(work, "features.tsv")).readlines()) == 6
    # The tuning reads what the benchmark writes.
    tune = subprocess.run([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "tune.py"),
                           os.path.join(work, "features.tsv"), "--curve"], capture_output=True, text=True)
    assert tune.returncode == 0, tune.stderr
    assert "reframed: postedBelow" in tune.stdout and "threshold swept" in tune.stdout, tune.stdout
print("1 passed, 0 failed")
