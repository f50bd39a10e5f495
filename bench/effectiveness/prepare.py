#!/usr/bin/env python3
"""Builds the effectiveness data set from real pictures of Debian packages.

Writes into WORK (see run.sh):
  database.tsv  id, title, poster and the 27 values of every stored entry:
                the posted pictures and >= 20,000 distractors made from
                pictures that are never queried (crops, rotations, colour
                changes)
  queries.tsv   half (tuning/heldout), set (posted/never), edit, the id the
                query must find ("" for never-posted pictures), path and the
                27 values
Signatures come from the program itself (tintwise-cli signature).
"""
import hashlib
import os
import random
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

BIN, WORK, JOBS = sys.argv[1], sys.argv[2], int(sys.argv[3])
# photos (wallpapers, sample photographs) or drawings (game art, flattened on
# white as the site shows a transparent picture).
KIND = sys.argv[4] if len(sys.argv) > 4 else "photos"
DRAWINGS = KIND == "drawings"
DISTRACTORS = int(os.environ.get("TINTWISE_EFFECTIVENESS_DISTRACTORS", "5000" if DRAWINGS else "21000"))
# At most this many distinct drawings (chosen by a hash of their names), so
# that a run of both kinds stays within minutes.
MAX_DRAWN = int(os.environ.get("TINTWISE_EFFECTIVENESS_MAX_DRAWN", "400"))
ROOT = os.path.join(WORK, "root")
# Transparent parts on white, as the site shows them.
FLATTEN = ["-background", "white", "-alpha", "remove", "-alpha", "off"]
# Folders of sprite strips, letters and animation frames: not pictures anyone posts.
SKIPPED = ("fonts", "hats", "blasts", "widgets", "cursors", "mouse", "droids", "tux_motion_parts", "bullets",
           "animations", "icons")

# Edited copies: name -> (ImageMagick arguments, extension, group).
EDITS = {
    "jpeg-q50": ([ "-quality", "50"], "jpg", "mild"),
    "jpeg-q85": (["-quality", "85"], "jpg", "mild"),
    "png": ([], "png", "mild"),
    "gif": ([], "gif", "mild"),
    "webp": (["-quality", "80"], "webp", "mild"),
    "bmp": ([], "bmp", "mild"),
    "size-50%": (["-resize", "50%"], "jpg", "mild"),
    "size-25%": (["-resize", "25%"], "jpg", "mild"),
    "watermark": (["-gravity", "southeast", "-region", "20%x7%+40+30", "-fill", "white", "-colorize", "70%", "+region"],
                  "jpg", "mild"),
    "screenshot": (["-resize", "1366x768!"], "png", "mild"),
    "brightness+8%": (["-brightness-contrast", "8x0"], "jpg", "mild"),
    "contrast+10%": (["-brightness-contrast", "0x10"], "jpg", "mild"),
    "mirror": (["-flop"], "jpg", "hard"),
    "flip": (["-flip"], "jpg", "hard"),
    "grayscale": (["-colorspace", "Gray"], "jpg", "hard"),
    "crop-3%": (["-gravity", "center", "-crop", "97%x97%+0+0", "+repage"], "jpg", "hard"),
    "crop-8%": (["-gravity", "northwest", "-crop", "92%x92%+0+0", "+repage"], "jpg", "hard"),
    "rotate-2deg": (["-background", "white", "-rotate", "2"], "jpg", "hard"),
    "border-20px": (["-bordercolor", "white", "-border", "20"], "jpg", "hard"),
    "rotate-90deg": (["-rotate", "90"], "jpg", "extra"),
}


def run(args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def digest(text):
    return hashlib.sha1(text.encode()).hexdigest()


def signatures(paths):
    """path -> list of 27 ints (missing when the program cannot read it)."""
    out = {}
    chunks = [paths[i:i + 200] for i in range(0, len(paths), 200)]

    def one(chunk):
        d = os.path.join(WORK, "cli", str(os.getpid()) + "-" + digest(chunk[0])[:8])
        os.makedirs(d, exist_ok=True)
        r = subprocess.run([os.path.join(BIN, "tintwise-cli"), "--dir", d, "signature", *chunk],
                           capture_output=True, text=True)
        res = {}
        for line in r.stdout.splitlines():
            text, path = line.split("\t", 1)
            if text != "error":
                res[path] = [int(v) for v in text.rstrip(",").split(",")]
        return res

    with ThreadPoolExecutor(JOBS) as pool:
        for res in pool.map(one, chunks):
            out.update(res)
    return out


def family(rel):
    """Pictures of one family (the same artwork in variants: day and night,
    light and dark, left and right) share their role and half, so that no
    never-posted picture is a variant of a posted one."""
    import re
    parts = rel.split("/")
    if DRAWINGS:
        # A folder of game art is one style (a theme, a mission, a kind of
        # item): never-posted drawings must not be variants of posted ones.
        return "/".join(parts[:-1]).lower()
    if "wallpapers" in parts and len(parts) > parts.index("wallpapers") + 1:
        return parts[parts.index("wallpapers") + 1].lower()
    for marker in ("themes", "desktop-base"):
        if marker in parts and len(parts) > parts.index(marker) + 1:
            return parts[parts.index(marker) + 1].lower().replace("-theme", "")
    if "registration" in parts:
        return "registration"
    name = os.path.splitext(parts[-1])[0].lower()
    name = re.sub(r"[-_](l|d|left|right|light|dark|day|night|no-logo)$", "", name)
    for prefix in ("sway", "ubuntu-mate", "mate-stripes", "motorcycle"):
        if name.startswith(prefix):
            return prefix
    return re.sub(r"[\d_x-]+$", "", name)


def diff(a, b):
    return sum(abs(x - y) for x, y in zip(a, b))


def png_size(path):
    """(width, height) of a PNG from its header; (0, 0) for anything else."""
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return 0, 0
    return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")


def wanted(path, name):
    if os.path.islink(path):
        return False
    if not DRAWINGS:
        return os.path.getsize(path) >= 20000
    if any(part.lower() in SKIPPED for part in path.split("/")) or os.path.getsize(path) < 6000:
        return False
    w, h = png_size(path)
    # Drawings of some size and no strips of frames.
    return min(w, h) >= 96 and max(w, h) <= 3 * min(w, h)


def main():
    exts = (".png",) if DRAWINGS else (".jpg", ".jpeg", ".png", ".webp", ".gif")
    files = []
    seen = set()
    for base, _, names in os.walk(ROOT):
        for n in sorted(names):
            p = os.path.join(base, n)
            if not n.lower().endswith(exts) or not wanted(p, n):
                continue
            h = hashlib.md5(open(p, "rb").read()).hexdigest()
            if h not in seen:
                seen.add(h)
                files.append(p)
    files.sort()
    sig = signatures(files)
    # One picture per group of near-identical files (the same artwork in
    # several sizes or aspect ratios): the largest file stands for the group.
    files = sorted((p for p in files if p in sig), key=lambda p: -os.path.getsize(p))
    kept = []
    for p in files:
        if all(diff(sig[p], sig[k]) >= 150 for k in kept):
            kept.append(p)
    rel = {p: os.path.relpath(p, ROOT) for p in kept}
    if DRAWINGS and len(kept) > MAX_DRAWN:
        kept = sorted(kept, key=lambda p: digest("pick" + rel[p]))[:MAX_DRAWN]
    roles = {}
    for p in kept:
        h = int(digest(family(rel[p])), 16)
        roles[p] = ["posted"] * 4 + ["never"] * 2 + ["distractor"] * 4
        roles[p] = roles[p][h % 10]
    posted = sorted((p for p in kept if roles[p] == "posted"), key=lambda p: rel[p])
    never = sorted((p for p in kept if roles[p] == "never"), key=lambda p: rel[p])
    sources = sorted((p for p in kept if roles[p] == "distractor"), key=lambda p: rel[p])
    print(f"pictures: {len(kept)} distinct of {len(sig)} readable files; posted {len(posted)}, "
          f"never posted {len(never)}, distractor sources {len(sources)}", flush=True)

    # Query pictures: the original scaled to at most 1024 px, and its edits.
    qdir = os.path.join(WORK, "queries")
    os.makedirs(qdir, exist_ok=True)
    tasks = []
    queries = []  # (half, set, edit, expected id, path)
    for i, p in enumerate(posted + never):
        kind = "posted" if p in posted else "never"
        name = digest(rel[p])[:10]
        half = "tuning" if int(digest("half" + family(rel[p])), 16) % 2 == 0 else "heldout"
        base = os.path.join(qdir, name + ".jpg")
        expected = f"{kind[0]}{i:04d}" if kind == "posted" else ""
        # The original, then every edit of it in one ImageMagick run.
        cmds = [["convert", p + "[0]", *FLATTEN, "-resize", "1024x1024>", "-quality", "92", base]]
        edits = ["convert", base, "-write", "mpr:b", "+delete"]
        if kind == "never":
            queries.append((half, kind, "original", "", base))
        for edit, (args, ext, _) in EDITS.items():
            out = os.path.join(qdir, f"{name}.{edit}.{ext}")
            quality = [] if "-quality" in args else ["-quality", "92"]
            edits += ["(", "mpr:b", *args, *quality, "-write", out, "+delete", ")"]
            queries.append((half, kind, edit, expected, out))
        cmds.append(edits + ["xc:", "null:"])
        tasks.append((cmds, kind, base, expected, rel[p]))

    def make(task):
        if not os.path.exists(task[0][-1][-5]):
            for c in task[0]:
                run(c)

    with ThreadPoolExecutor(JOBS) as pool:
        list(pool.map(make, tasks))

    # Distractors: small variants of the pictures that are never queried.
    ddir = os.path.join(WORK, "distractors")
    os.makedirs(ddir, exist_ok=True)
    per = -(-DISTRACTORS // max(1, len(sources)))
    dtasks = []
    for p in sources:
        rng = random.Random(rel[p])
        name = digest(rel[p])[:10]
        args = ["convert", p + "[0]", *FLATTEN, "-resize", "400x400>", "-write", "mpr:s", "+delete"]
        outs = []
        for k in range(per):
            out = os.path.join(ddir, f"{name}-{k:04d}.jpg")
            outs.append(out)
            ops = []
            w, h = rng.uniform(0.35, 1.0), rng.uniform(0.35, 1.0)
            ops += ["-gravity", "northwest", "-crop",
                    f"{w * 100:.1f}%x{h * 100:.1f}%+{rng.randint(0, int((1 - w) * 400))}+{rng.randint(0, int((1 - h) * 400))}",
                    "+repage"]
            turn = rng.random()
            if turn < 0.15:
                ops += ["-rotate", str(rng.choice([90, 180, 270]))]
            elif turn < 0.35:
                ops += ["-background", rng.choice(["white", "black", "gray"]), "-rotate", f"{rng.uniform(-30, 30):.1f}"]
            if rng.random() < 0.25:
                ops += [rng.choice(["-flop", "-flip"])]
            colour = rng.random()
            if colour < 0.6:
                ops += ["-modulate", f"{rng.uniform(70, 130):.0f},{rng.uniform(40, 160):.0f},{rng.uniform(70, 130):.0f}"]
            elif colour < 0.7:
                ops += ["-colorspace", "Gray"]
            elif colour < 0.8:
                ops += ["-brightness-contrast", f"{rng.uniform(-25, 25):.0f}x{rng.uniform(-25, 25):.0f}"]
            args += ["(", "mpr:s", *ops, "-resize", "160x160", "-quality", "90", "-write", out, "+delete", ")"]
        args += ["xc:", "null:"]
        dtasks.append((args, outs))

    def dmake(task):
        if not all(os.path.exists(o) for o in task[1]):
            run(task[0])

    with ThreadPoolExecutor(JOBS) as pool:
        list(pool.map(dmake, dtasks))
    dpaths = [o for t in dtasks for o in t[1]]

    # The distractor sources, small, for the rows bench_effectiveness --rows
    # adds (cut from them as the distractors above are).
    sdir = os.path.join(WORK, "sources")
    os.makedirs(sdir, exist_ok=True)

    def smake(p):
        out = os.path.join(sdir, digest(rel[p])[:10] + ".ppm")
        if not os.path.exists(out):
            run(["convert", p + "[0]", *FLATTEN, "-resize", "128x128>", "-depth", "8", out])

    with ThreadPoolExecutor(JOBS) as pool:
        list(pool.map(smake, sources))

    qsig = signatures([q[4] for q in queries] + [t[2] for t in tasks])
    dsig = signatures(dpaths)
    # pictures.tsv: each stored entry's picture, as the site would serve it
    # (for the benchmark's confirmation).
    with open(os.path.join(WORK, "database.tsv"), "w") as db, open(os.path.join(WORK, "pictures.tsv"), "w") as pf:
        n = 0
        for cmds, kind, base, expected, r in tasks:
            if kind == "posted" and base in qsig:
                db.write("\t".join([expected, r, "posted", *map(str, qsig[base])]) + "\n")
                pf.write(f"{expected}\t{base}\n")
        for p in dpaths:
            if p in dsig:
                n += 1
                db.write("\t".join([f"d{n:05d}", os.path.basename(p), "distractor", *map(str, dsig[p])]) + "\n")
                pf.write(f"d{n:05d}\t{p}\n")
    with open(os.path.join(WORK, "queries.tsv"), "w") as qf:
        for half, kind, edit, expected, path in queries:
            if path in qsig:
                qf.write("\t".join([half, kind, edit, EDITS.get(edit, ([], "", "never"))[2] if kind == "posted" else "never",
                                    expected, path, *map(str, qsig[path])]) + "\n")
    print(f"database: {len(posted)} posted + {n} distractors; queries: {len(queries)} "
          f"({sum(1 for q in queries if q[4] in qsig)} readable)", flush=True)


if __name__ == "__main__":
    main()
