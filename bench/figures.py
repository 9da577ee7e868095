#!/usr/bin/python3
"""Prints the benchmark's figures from what bench/run.sh left in its folder.

    figures.py corpus WORK NAME IMAGES   the table of one corpus
    figures.py side WORK NAME...         the figures of several corpora side by side"""
import json
import statistics
import sys

LABELS = {"a": "fotolista-batch --jobs 1", "b": "fotolista-batch (jobs = núcleos)", "c": "fotolista-batch --fast",
          "d": "referencia (llamadas directas)",
          "e": "fotolista-batch --no-optimize", "vips": "vipsthumbnail x2", "magick": "convert x2"}


def figures(work, name, images):
    rows = {}
    for line in open("%s/results-%s.txt" % (work, name)):
        mode, wall, user, system, rss = line.split()
        rows.setdefault(mode, []).append((float(wall), float(user) + float(system), int(rss)))
    med = lambda mode, i: statistics.median(r[i] for r in rows[mode])
    ips = {mode: images / med(mode, 0) for mode in rows}
    same, total = (int(x) for x in open("%s/identity-%s.txt" % (work, name)).read().split())
    psnr = [line.rstrip("\n").split("\t") for line in open("%s/psnr-%s.tsv" % (work, name))][1:]
    deltas = [float(p[3]) for p in psnr]
    long_kb, short_kb, rerun = open("%s/rerun-figures-%s.txt" % (work, name)).read().split()[:3]
    rerun_s = float(rerun)
    per_row = (int(long_kb) - int(short_kb)) / (2000 - 200)
    cpu = {mode: med(mode, 1) for mode in rows}
    opt_same, opt_total, large_b, large_e, small_b, small_e = (
        int(x) for x in open("%s/optimised-%s.txt" % (work, name)).read().split())
    return {
        "rows": rows, "ips": ips, "images": images, "same": same, "total": total,
        "exact_vs_ref_cpu": cpu["d"] / cpu["a"], "fast_vs_exact_cpu": cpu["b"] / cpu["c"],
        "exact_vs_ref": ips["a"] / ips["d"], "two_vs_one": ips["b"] / ips["a"], "fast_vs_exact": ips["c"] / ips["b"],
        "psnr": psnr, "delta_min": min(deltas), "delta_mean": statistics.mean(deltas),
        "within": sum(1 for d in deltas if d >= -0.5), "rerun_rows": 2000, "rerun_s": rerun_s,
        "opt_same": opt_same, "opt_total": opt_total,
        "opt_large": 1 - large_b / large_e, "opt_small": 1 - small_b / small_e,
        "opt_cost": med("b", 0) / med("e", 0) - 1, "opt_cost_cpu": cpu["b"] / cpu["e"] - 1,
        "kib_per_row": per_row, "peak_short": int(short_kb) / 1024, "peak_long": int(long_kb) / 1024,
    }


def corpus(work, name, images):
    f = figures(work, name, images)
    print("%-34s %8s %8s %8s %9s %8s" % ("modo", "real s", "cpu s", "img/s", "pico MB", "vs ref"))
    for mode, rows in f["rows"].items():
        print("%-34s %8.2f %8.2f %8.2f %9.0f %8.2f" % (
            LABELS[mode], statistics.median(r[0] for r in rows), statistics.median(r[1] for r in rows),
            f["ips"][mode], max(r[2] for r in rows) / 1024, f["ips"][mode] / f["ips"]["d"]))
    print("a / ref (exacto, un trabajo): %.2f, con %d de %d ficheros idénticos byte a byte a los de la referencia"
          % (f["exact_vs_ref"], f["same"], f["total"]))
    print("b / a (dos trabajos): %.2f    c / b (lectura rápida): %.2f" % (f["two_vs_one"], f["fast_vs_exact"]))
    # On a shared machine the wall clock also counts the waits for a core.
    print("En tiempo de CPU: a / ref %.2f, c / b %.2f" % (f["exact_vs_ref_cpu"], f["fast_vs_exact_cpu"]))
    print("Distancia a la reducción ideal (PSNR, calidad alta, sin marca), foto a foto: rápida - exacta")
    print("  mínimo %+.2f dB, media %+.2f dB; %d de %d fotos a 0,5 dB o menos (tabla: psnr-%s.tsv)"
          % (f["delta_min"], f["delta_mean"], f["within"], len(f["psnr"]), name))
    print("Tamaño mínimo (b) frente a --no-optimize (e): grandes %.1f %% menos bytes, pequeñas %.1f %%;"
          " %d de %d ficheros con los mismos píxeles; coste %+.1f %% en reloj, %+.1f %% en CPU"
          % (100 * f["opt_large"], 100 * f["opt_small"], f["opt_same"], f["opt_total"],
             100 * f["opt_cost"], 100 * f["opt_cost_cpu"]))
    print("Repetición con --only-changed de %d filas sin cambios: %.2f s" % (f["rerun_rows"], f["rerun_s"]))
    print("Memoria: pico %.0f MB con %d filas y %.0f MB con %d: %.2f KiB por fila"
          % (f["peak_short"], 200, f["peak_long"], 2000, f["kib_per_row"]))
    json.dump({k: v for k, v in f.items() if k not in ("rows", "psnr")}, open("%s/figures-%s.json" % (work, name), "w"))


def side(work, names):
    fs = [json.load(open("%s/figures-%s.json" % (work, n))) for n in names]
    print("%-44s" % "" + "".join("%16s" % n for n in names) + "   objetivo")
    lines = [
        ("exacto, un trabajo / referencia", lambda f: "%.2f" % f["exact_vs_ref"], ">= 1,6"),
        ("exacto / referencia, tiempo de CPU", lambda f: "%.2f" % f["exact_vs_ref_cpu"], ">= 1,6"),
        ("ficheros idénticos a la referencia", lambda f: "%d/%d" % (f["same"], f["total"]), "todos"),
        ("dos trabajos / uno", lambda f: "%.2f" % f["two_vs_one"], ""),
        ("rápido / exacto", lambda f: "%.2f" % f["fast_vs_exact"], ">= 2,5"),
        ("rápido / exacto, tiempo de CPU", lambda f: "%.2f" % f["fast_vs_exact_cpu"], ">= 2,5"),
        ("rápido - exacto, dB (peor foto)", lambda f: "%+.2f" % f["delta_min"], ">= -0,5"),
        ("rápido - exacto, dB (media)", lambda f: "%+.2f" % f["delta_mean"], ""),
        ("tamaño mínimo: bytes de menos, grandes", lambda f: "%.1f %%" % (100 * f["opt_large"]), ""),
        ("tamaño mínimo: bytes de menos, pequeñas", lambda f: "%.1f %%" % (100 * f["opt_small"]), ""),
        ("tamaño mínimo: mismos píxeles", lambda f: "%d/%d" % (f["opt_same"], f["opt_total"]), "todos"),
        ("tamaño mínimo: coste en reloj", lambda f: "%+.1f %%" % (100 * f["opt_cost"]), "<= 5 %"),
        ("tamaño mínimo: coste en CPU", lambda f: "%+.1f %%" % (100 * f["opt_cost_cpu"]), "<= 5 %"),
        ("--only-changed, filas sin cambios: s", lambda f: "%d: %.2f" % (f["rerun_rows"], f["rerun_s"]),
         "2000 < 2 s"),
        ("memoria por fila, KiB", lambda f: "%.2f" % f["kib_per_row"], "<= 1"),
    ]
    for label, value, goal in lines:
        print("%-44s" % label + "".join("%16s" % value(f) for f in fs) + "   " + goal)


if sys.argv[1] == "corpus":
    corpus(sys.argv[2], sys.argv[3], int(sys.argv[4]))
else:
    side(sys.argv[2], sys.argv[3:])
