#!/usr/bin/env python3
"""Chooses the verdict's rules from the tuning half only, and prints the curve.

Reads the features bench_effectiveness writes (one line per query: half, set,
edit, group, expected id, then per comparison the two closest rows'
differences and ids) and decides every query as src/search/Verdict.cpp does.

Tuning: per kind of comparison, the posted threshold, the similar threshold
and their margin ratios (best <= ratio x the closest other entry under any
comparison with a rule) are searched (coordinate search, twice round) for the
most edited copies called posted with the right id, then the most called
posted or similar with the right id (and the agreement factor, by which the
plain and tone posted thresholds grow when both find the same entry first,
likewise over AGREE_GRID), while on the tuning half at most
MAX_NEVER_POSTED of the never-posted pictures are called posted,
MAX_NEVER_SIMILAR similar and MAX_WRONG of the copies posted with a wrong id.
Room for pictures the tuning half does not have: the caps on posted calls must
still hold with every posted threshold ROOM times higher, and no posted
threshold lies above the difference that NEVER_QUANTILE of the tuning half's
never-posted pictures reach under that kind of comparison alone (a threshold
at the edge of ten pictures' differences is no estimate for the next ten).

The curve: from the tuned rules, each kind's posted threshold and similar
threshold swept over a grid, recall against false alarms on the tuning half
and, printed separately, on the held-out half (only reported, never used to
choose).

Usage: tune.py FEATURES [--curve] [--margin=own] [--agree=FACTOR] [--spread=S] [--alone=RATIO:FACTOR]
  --margin=own     the margin against the same comparison's second row only
  --agree=FACTOR   posted thresholds of plain and tone times FACTOR when both
                   find the same entry first (default: tuned over AGREE_GRID)
  --spread=S       every threshold times min(1, the query's spread / S), at
                   least SPREAD_FLOOR: a
                   flat or mostly white signature needs a closer match
                   (the spread: the mean distance of the 27 values from
                   their mean; default 0, off)
  --alone=R:F      a posted threshold times F when the comparison's closest
                   row is at most R times as far as the closest other row
                   (an entry standing alone; default off)
"""
import itertools
import sys

COMPARISONS = ["same", "mirrored", "flipped", "rotated-180", "rotated-90", "rotated-270", "transposed",
               "antitransposed", "grayscale", "tone", "reframed"]
# The comparisons the program runs (ComparisonSet::Default) and the rule each follows.
KIND = {"same": "same", "mirrored": "grid", "flipped": "grid", "grayscale": "gray", "tone": "tone",
        "reframed": "reframed"}
KINDS = ["same", "grid", "gray", "tone", "reframed"]

MAX_NEVER_POSTED = 0.005
MAX_NEVER_SIMILAR = float(__import__("os").environ.get("MAX_NEVER_SIMILAR", "0.03"))
MAX_WRONG = 0.0025
ROOM = 1.3
NEVER_QUANTILE = 0.02

POSTED_GRID = [0, 10, 20, 30, 40, 50, 60, 70, 80, 100, 120, 150, 200]
SIMILAR_GRID = [0, 40, 60, 80, 100, 120, 150, 200, 250, 300]
RATIOS = [0.3, 0.4, 0.5, 0.6, 0.8, 1.0]
SIMILAR_RATIOS = [0.9, 1.0]
AGREE_GRID = [1.0, 1.5, 2.0, 3.0]
# Even a flat signature says something: an exact match of one still counts.
SPREAD_FLOOR = 0.25


def load(path):
    rows = []
    for line in open(path):
        f = line.rstrip("\n").split("\t")
        comps = []
        # The query's spread closes the line (older files have none).
        spread = int(f[-1]) if (len(f) - 5) % 4 == 1 else 255
        for c in range((len(f) - 5) // 4):
            d1, id1, d2, id2 = f[5 + 4 * c: 9 + 4 * c]
            comps.append((int(d1), id1, int(d2), id2))
        used = [(c, comp) for c, comp in enumerate(comps) if comp[0] >= 0 and COMPARISONS[c] in KIND]
        top = {COMPARISONS[c]: comp[1] for c, comp in used}
        rows.append({"half": f[0], "set": f[1], "edit": f[2], "group": f[3], "expected": f[4], "c": comps,
                     "used": used, "top": top, "spread": spread})
    return rows


OPTIONS = {"margin": "other", "agree": 1.0, "spread": 0, "alone": (0.0, 1.0)}


def calls(q, rules, kinds):
    """The best call of the comparisons of `kinds`: (share, outcome, id)."""
    best = (2.0, "new", None)
    used = q["used"]
    top = q["top"]
    for c, (d1, id1, d2, _) in used:
        kind = KIND[COMPARISONS[c]]
        if kind not in kinds or kind not in rules:
            continue
        posted_below, similar_below, ratio, similar_ratio = rules[kind]
        if OPTIONS["spread"] > 0:
            # A signature that says little (flat, mostly white) needs a closer match.
            factor = max(SPREAD_FLOOR, min(1.0, q["spread"] / OPTIONS["spread"]))
            posted_below, similar_below = posted_below * factor, similar_below * factor
        if OPTIONS["margin"] == "other":
            # The closest row with another id under any comparison.
            others = [k[0] if k[1] != id1 else k[2] for o, k in used
                      if KIND[COMPARISONS[o]] in rules and max(rules[KIND[COMPARISONS[o]]][:2]) > 0]
            d2 = min((d for d in others if d >= 0), default=-1)
        if OPTIONS["agree"] != 1.0 and COMPARISONS[c] in ("same", "tone") and id1 == top.get("same") == top.get("tone"):
            posted_below = posted_below * OPTIONS["agree"]
        alone_ratio, alone_factor = OPTIONS["alone"]
        if alone_ratio > 0 and (d2 < 0 or d1 <= alone_ratio * d2):
            posted_below = posted_below * alone_factor
        apart = d2 < 0 or d1 <= ratio * d2
        if d1 < posted_below and apart:
            share, outcome = d1 / posted_below, "posted"
        elif d1 < similar_below and (d2 < 0 or d1 <= similar_ratio * d2):
            share, outcome = 1 + d1 / similar_below, "similar"
        else:
            continue
        if share < best[0]:
            best = (share, outcome, id1)
    return best


def decide(q, rules):
    """(outcome, id) as Verdict::Decide gives them."""
    best = calls(q, rules, KINDS)
    return best[1], best[2]


def score(rows, rules, kind=None, fixed=None):
    """Counts; with `fixed` (each query's best call of the other kinds) only
    `kind`'s comparisons are decided again."""
    s = dict(n_edit=0, n_mild=0, n_hard=0, posted_right=0, mild_right=0, hard_right=0, any_right=0, posted_wrong=0,
             n_never=0, never_posted=0, never_similar=0)
    for i, q in enumerate(rows):
        if fixed is None:
            outcome, ident = decide(q, rules)
        else:
            best = min(fixed[i], calls(q, rules, [kind]), key=lambda b: b[0])
            outcome, ident = best[1], best[2]
        if q["set"] == "never":
            s["n_never"] += 1
            s["never_posted"] += outcome == "posted"
            s["never_similar"] += outcome == "similar"
        elif q["group"] in ("mild", "hard"):
            s["n_edit"] += 1
            s["n_" + q["group"]] += 1
            right = ident == q["expected"]
            s["posted_right"] += outcome == "posted" and right
            s[q["group"] + "_right"] += outcome == "posted" and right
            s["any_right"] += outcome != "new" and right
            s["posted_wrong"] += outcome == "posted" and not right
    return s


def allowed(sc):
    return (sc["never_posted"] <= MAX_NEVER_POSTED * sc["n_never"] and sc["posted_wrong"] <= MAX_WRONG * sc["n_edit"]
            and sc["never_similar"] <= MAX_NEVER_SIMILAR * sc["n_never"])


def loosened(rules):
    return {k: (p * ROOM, s, r, rs) for k, (p, s, r, rs) in rules.items()}


def tune(rows, kinds):
    rules = {kind: (0, 0, 1.0, 1.0) for kind in kinds}
    # Room: no kind's posted threshold above the NEVER_QUANTILE of the
    # never-posted pictures' closest difference under that kind alone.
    caps = {}
    for kind in kinds:
        closest = sorted(min((comp[0] for c, comp in q["used"] if KIND[COMPARISONS[c]] == kind), default=10 ** 9)
                         for q in rows if q["set"] == "never")
        caps[kind] = closest[int(NEVER_QUANTILE * len(closest))] if closest else 0
    for _ in range(2):
        for kind in kinds:
            best = None
            fixed = [calls(q, rules, [k for k in kinds if k != kind]) for q in rows]
            loose_fixed = [calls(q, loosened(rules), [k for k in kinds if k != kind]) for q in rows]
            for p, s, r, rs in itertools.product(POSTED_GRID, SIMILAR_GRID, RATIOS, SIMILAR_RATIOS):
                if s < p or (p == 0 and r != RATIOS[-1]) or (s == 0 and rs != SIMILAR_RATIOS[-1]):
                    continue
                if p > caps[kind]:
                    continue
                trial = dict(rules)
                trial[kind] = (p, s, r, rs)
                sc = score(rows, trial, kind, fixed)
                if not allowed(sc):
                    continue
                # Room: posted thresholds 30 % higher still within the caps.
                loose = score(rows, loosened(trial), kind, loose_fixed)
                if not allowed(dict(loose, never_similar=0)):
                    continue
                # Most right posted calls, then most right calls, then the
                # tightest thresholds.
                key = (sc["posted_right"], sc["any_right"], -p, -s)
                if best is None or key > best[0]:
                    best = (key, (p, s, r, rs))
            if best:
                rules[kind] = best[1]
    return rules


def pct(part, whole):
    return f"{100.0 * part / whole:.1f}" if whole else "-"


COLUMNS = "mild posted right | hard posted right | posted or similar right | never: posted | never: similar | wrong id"


def figures(sc):
    return " | ".join([pct(sc["mild_right"], sc["n_mild"]), pct(sc["hard_right"], sc["n_hard"]),
                       pct(sc["any_right"], sc["n_edit"]), pct(sc["never_posted"], sc["n_never"]),
                       pct(sc["never_similar"], sc["n_never"]), pct(sc["posted_wrong"], sc["n_edit"])])


def curve(tuning, heldout, rules, kind, which, grid):
    """One table: the kind's posted (which=0) or similar (which=1) threshold swept."""
    name = "posted" if which == 0 else "similar"
    print(f"\n{kind}: {name} threshold swept (tuned {rules[kind][which]}), in %: tuning half ‖ held-out half\n")
    print(f"| {name} below | {COLUMNS} | {COLUMNS} |")
    print("|---" * 13 + "|")
    for value in sorted(set(grid) | {rules[kind][which]}):
        p, s, r, rs = rules[kind]
        if which == 0:
            p, s = value, max(s, value)
        else:
            s, p = value, min(p, value)
        trial = dict(rules)
        trial[kind] = (p, s, r, rs)
        mark = " *" if (p, s) == rules[kind][:2] else ""
        print(f"| {value}{mark} | {figures(score(tuning, trial))} | {figures(score(heldout, trial))} |")


def main():
    for arg in sys.argv[2:]:
        if "=" in arg:
            name, value = arg.lstrip("-").split("=")
            if name == "alone":
                OPTIONS[name] = tuple(float(v) for v in value.split(":"))
            else:
                OPTIONS[name] = type(OPTIONS[name])(value)
    rows = load(sys.argv[1])
    tuning = [q for q in rows if q["half"] == "tuning"]
    heldout = [q for q in rows if q["half"] == "heldout"]
    present = {COMPARISONS[c] for q in rows for c, comp in enumerate(q["c"]) if comp[0] >= 0}
    kinds = [k for k in KINDS if any(KIND[c] == k for c in present if c in KIND)]
    # The agreement factor: each value tuned in full, the best on the tuning half kept.
    if "--agree" not in " ".join(sys.argv[2:]):
        best = None
        for agree in AGREE_GRID:
            OPTIONS["agree"] = agree
            trial = tune(tuning, kinds)
            sc = score(tuning, trial)
            key = (sc["posted_right"], sc["any_right"], -agree)
            if best is None or key > best[0]:
                best = (key, agree, trial)
        OPTIONS["agree"] = best[1]
        rules = best[2]
    else:
        rules = tune(tuning, kinds)
    print(f"agreement (plain and tone find the same entry first): posted thresholds x {OPTIONS['agree']}")
    if OPTIONS["spread"] > 0:
        print(f"thresholds x min(1, spread / {OPTIONS['spread']})")
    if OPTIONS["alone"][0] > 0:
        print(f"an entry standing alone: posted thresholds x {OPTIONS['alone'][1]} at a ratio of "
              f"{OPTIONS['alone'][0]} or less")
    for kind in kinds:
        p, s, r, rs = rules[kind]
        print(f"{kind}: postedBelow {p}, similarBelow {s}, marginRatio {r}, similarMarginRatio {rs}")
    print(f"\n| half | {COLUMNS} |\n|---|---|---|---|---|---|---|")
    print(f"| tuning | {figures(score(tuning, rules))} |")
    print(f"| held-out | {figures(score(heldout, rules))} |")
    if "--curve" in sys.argv:
        for kind in kinds:
            curve(tuning, heldout, rules, kind, 0, [0, 20, 40, 60, 80, 100, 120, 150, 200, 250])
        for kind in kinds:
            curve(tuning, heldout, rules, kind, 1, [0, 60, 100, 150, 200, 250, 300, 400])


if __name__ == "__main__":
    main()
