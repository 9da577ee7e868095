#!/usr/bin/python3
"""The WebP and AVIF quality table from the sweep of bench/websweep.sh.

    websweep.py websweep.tsv

For each JPEG quality item and each format: the lowest quality of the sweep
at which every copy of both corpora (large and small) lies at least as close
to its ideal downscale as the JPEG of that item; then, at that quality, the
companions' bytes against the JPEGs', how many would not be written (not
smaller than their JPEG), and the time to encode them. Markdown, for
bench/README.md."""
import collections
import sys

LEVELS = ["alta", "media", "baja", "muybaja"]
NAMES = {"alta": "Alta", "media": "Media", "baja": "Baja", "muybaja": "Muy baja"}


def main(path):
    jpeg = {}
    comp = collections.defaultdict(dict)
    for line in open(path):
        corpus, photo, width, fmt, quality, size, psnr, ms = line.rstrip("\n").split("\t")
        key = (corpus, photo, int(width))
        if fmt == "jpeg":
            jpeg.setdefault(key, {})[quality] = (int(size), float(psnr), float(ms))
        else:
            comp[(fmt, key)][int(quality)] = (int(size), float(psnr), float(ms))
    keys = sorted(k for k in jpeg if all(("webp", k) in comp and ("avif", k) in comp for _ in [0]))
    corpora = sorted({k[0] for k in keys})
    print(f"{len(keys)} copies ({', '.join(f'{c}: {sum(1 for k in keys if k[0] == c)}' for c in corpora)})\n")
    print("| JPEG quality | format | chosen quality | worst margin, dB | bytes against the JPEG, large / small |"
          " not smaller (not written) | ms per copy, large / small |")
    print("|---|---|---:|---:|---|---:|---|")
    for level in LEVELS:
        for fmt in ("webp", "avif"):
            grid = sorted(comp[(fmt, keys[0])])
            chosen = None
            for q in grid:
                if all(comp[(fmt, k)][q][1] >= jpeg[k][level][1] for k in keys):
                    chosen = q
                    break
            q = chosen if chosen is not None else grid[-1]
            margin = min(comp[(fmt, k)][q][1] - jpeg[k][level][1] for k in keys)
            ratios, times = [], []
            for width in (409, 145):
                ks = [k for k in keys if k[2] == width]
                cb = sum(comp[(fmt, k)][q][0] for k in ks)
                jb = sum(jpeg[k][level][0] for k in ks)
                ratios.append(f"{cb / jb:.2f}")
                times.append(f"{sum(comp[(fmt, k)][q][2] for k in ks) / len(ks):.0f}")
            larger = sum(1 for k in keys if comp[(fmt, k)][q][0] >= jpeg[k][level][0])
            shown = str(q) if chosen is not None else f"{q} (not reached)"
            print(f"| {NAMES[level]} | {fmt.upper() if fmt == 'avif' else 'WebP'} | {shown} | {margin:+.2f} |"
                  f" {' / '.join(ratios)} | {larger} of {len(keys)} | {' / '.join(times)} |")
    print()
    for width in (409, 145):
        ks = [k for k in keys if k[2] == width]
        print(f"JPEG, {width} px: " + ", ".join(
            f"{NAMES[l]} {sum(jpeg[k][l][0] for k in ks) / len(ks) / 1024:.1f} kB "
            f"{sum(jpeg[k][l][1] for k in ks) / len(ks):.2f} dB {sum(jpeg[k][l][2] for k in ks) / len(ks):.0f} ms"
            for l in LEVELS))


if __name__ == "__main__":
    main(sys.argv[1])
