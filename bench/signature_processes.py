#!/usr/bin/env python3
"""Whole-process figures for the signature (see signature_bench.sh):
   signature_processes.py CLI PICTURE_DIR PAIRS
Wall time as the median of paired runs (ours and the peer back to back, the
order alternating), with the median of the per-pair ratios; peak resident
size and minor page faults from the kernel's accounting of each process."""
import os
import statistics
import subprocess
import sys
import tempfile
import time


def run(command):
    """(wall seconds, peak resident MiB, minor faults) of one process.
    GNU time starts it from its own small process and reports its peak and
    faults: a child of this Python process would be charged Python's size
    too (the kernel keeps the larger peak across exec). Both sides of a pair
    pay the same small cost of the extra process in wall time."""
    with tempfile.NamedTemporaryFile("r") as report:
        started = time.perf_counter()
        status = subprocess.call(["/usr/bin/time", "-f", "%M %R", "-o", report.name] + command,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - started
        if status != 0:
            sys.exit("failed: " + " ".join(command))
        peak, faults = report.read().split()
    return wall, int(peak) / 1024.0, int(faults)


def paired(ours, peer, pairs):
    run(ours), run(peer)  # warm the page cache
    a, b = [], []
    for i in range(pairs):
        if i % 2:
            b.append(run(peer)), a.append(run(ours))
        else:
            a.append(run(ours)), b.append(run(peer))
    return a, b


def median(runs, field):
    return statistics.median(r[field] for r in runs)


def main():
    cli, pictures, pairs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    only = os.path.join(os.path.dirname(os.path.dirname(cli)), "bench", "bench_signature_only")
    program = os.path.join(pictures, "program")
    signature = lambda name: [cli, "--dir", program, "signature", os.path.join(pictures, name)]

    print("%-46s %9s %9s %7s %9s %9s %9s %9s" % ("pair (ours / peer)", "ours ms", "peer ms", "ratio",
                                                 "ours MiB", "peer MiB", "ours flt", "peer flt"))
    comparisons = [
        ("signature photo.jpg / djpeg", signature("photo.jpg"),
         ["djpeg", "-outfile", "/dev/null", os.path.join(pictures, "photo.jpg")]),
        ("signature photo.png / pngtopnm", signature("photo.png"), ["pngtopnm", os.path.join(pictures, "photo.png")]),
        ("--version / true", [cli, "--version"], ["true"]),
        ("bench_signature_only photo.jpg / djpeg", [only, os.path.join(pictures, "photo.jpg")],
         ["djpeg", "-outfile", "/dev/null", os.path.join(pictures, "photo.jpg")]),
        # What the program adds to the same picture work: its start-up and set-up.
        ("signature photo.jpg / bench_signature_only", signature("photo.jpg"),
         [only, os.path.join(pictures, "photo.jpg")]),
    ]
    for label, ours, peer in comparisons:
        a, b = paired(ours, peer, pairs)
        ratio = statistics.median(x[0] / y[0] for x, y in zip(a, b))
        print("%-46s %9.1f %9.1f %6.2fx %9.1f %9.1f %9d %9d" % (
            label, median(a, 0) * 1000, median(b, 0) * 1000, ratio, median(a, 1), median(b, 1),
            median(a, 2), median(b, 2)))

    print()
    print("%-44s %9s %9s %9s" % ("peak of one signature", "ms", "MiB", "faults"))
    for name in ["photo.jpg", "large.jpg", "photo.png", "large.png", "photo-progressive.jpg", "photo-interlaced.png"]:
        runs = [run(signature(name)) for _ in range(3)]
        print("%-44s %9.1f %9.1f %9d" % (name, median(runs, 0) * 1000, median(runs, 1), median(runs, 2)))


main()
