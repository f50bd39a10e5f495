#!/usr/bin/env python3
"""Chooses the verdict's thresholds from the tuning half only.

Reads the features bench_effectiveness writes (one line per query: half, set,
edit, group, expected id, then per comparison the closest difference, its id
and the second difference) and searches, per kind of comparison, the posted
threshold, the similar threshold and the margin ratio that call the most
edited copies posted with the right id while on the tuning half at most
0.5 % of the never-posted pictures are called posted and 5 % similar, and at
most 0.25 % of the copies are called posted with a wrong id (half the targets,
to leave room for the held-out half). Prints the rules for src/search/Verdict.cpp.
"""
import itertools
import sys

COMPARISONS = ["same", "mirrored", "flipped", "rotated-180", "rotated-90", "rotated-270", "transposed",
               "antitransposed", "grayscale", "tone"]
KIND = {"same": "same", "grayscale": "gray", "tone": "tone", "mirrored": "grid", "flipped": "grid"}
KINDS = ["same", "grid", "gray", "tone"]


def load(path):
    rows = []
    for line in open(path):
        f = line.rstrip("\n").split("\t")
        comps = []
        for c in range(len(COMPARISONS)):
            d1, id1, d2 = f[5 + 3 * c: 8 + 3 * c]
            comps.append((int(d1), id1, int(d2)))
        rows.append({"half": f[0], "set": f[1], "edit": f[2], "group": f[3], "expected": f[4], "c": comps})
    return rows


def decide(q, rules):
    best = (2.0, "new", None)
    for c, (d1, id1, d2) in enumerate(q["c"]):
        if d1 < 0:
            continue
        if COMPARISONS[c] not in KIND:
            continue  # not in the program's comparison set
        posted_below, similar_below, ratio = rules[KIND[COMPARISONS[c]]]
        apart = d2 < 0 or d1 <= ratio * d2
        if d1 < posted_below and apart:
            share, outcome = d1 / posted_below, "posted"
        elif d1 < similar_below:
            share, outcome = 1 + d1 / similar_below, "similar"
        else:
            continue
        if share < best[0]:
            best = (share, outcome, id1)
    return best[1], best[2]


def score(rows, rules):
    s = dict(n_edit=0, posted_right=0, any_right=0, posted_wrong=0, n_never=0, never_posted=0, never_similar=0)
    for q in rows:
        outcome, ident = decide(q, rules)
        if q["set"] == "never":
            s["n_never"] += 1
            s["never_posted"] += outcome == "posted"
            s["never_similar"] += outcome == "similar"
        elif q["group"] in ("mild", "hard"):
            s["n_edit"] += 1
            right = ident == q["expected"]
            s["posted_right"] += outcome == "posted" and right
            s["any_right"] += outcome != "new" and right
            s["posted_wrong"] += outcome == "posted" and not right
    return s


def main():
    rows = [q for q in load(sys.argv[1]) if q["half"] == "tuning"]
    rules = {"same": (0, 0, 1.0), "grid": (0, 0, 1.0), "gray": (0, 0, 1.0), "tone": (0, 0, 1.0)}
    posted_grid = [10, 15, 20, 30, 40, 50, 60, 80, 100, 120, 150, 180, 220, 260, 300]
    similar_grid = [0, 100, 150, 200, 250, 300, 350, 400, 500, 600]
    ratios = [0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 1.0]
    # Coordinate search, plain first, twice round.
    for _ in range(2):
        for kind in KINDS:
            best = None
            for p, s, r in itertools.product(posted_grid, similar_grid, ratios):
                if s and s < p:
                    continue
                trial = dict(rules)
                trial[kind] = (p, max(s, p), r)
                sc = score(rows, trial)
                if (sc["never_posted"] > 0.005 * sc["n_never"] or sc["posted_wrong"] > 0.0025 * sc["n_edit"]
                        or sc["never_similar"] > 0.05 * sc["n_never"]):
                    continue
                # Most right posted calls, then most right calls, then the
                # tightest thresholds.
                key = (sc["posted_right"], sc["any_right"], -p, -s)
                if best is None or key > best[0]:
                    best = (key, (p, max(s, p), r))
            if best:
                rules[kind] = best[1]
    sc = score(rows, rules)
    print("tuning half:", sc)
    for kind in KINDS:
        p, s, r = rules[kind]
        print(f"{kind}: postedBelow {p}, similarBelow {s}, marginRatio {r}")


if __name__ == "__main__":
    main()
