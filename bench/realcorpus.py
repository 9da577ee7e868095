#!/usr/bin/python3
"""Writes the benchmark's corpus of real camera photographs: crops of the
photographs that Debian's lomiri-wallpapers-16.04 and lomiri-wallpapers-20.04
packages ship, re-encoded the way cameras write them (1600 x 1200 to
4000 x 3000, landscape, portrait and square, qualities 72 to 95, 4:2:0 and
4:2:2 chroma, one in five progressive), and "lista.tsv" (source name,
destination name, extension) for the workbook and the reference program.

    realcorpus.py OUTPUT_FOLDER [COUNT] [PACKAGE_FOLDER]

The packages are fetched once with `apt-get download` into PACKAGE_FOLDER
(default: OUTPUT_FOLDER/../paquetes) and unpacked with dpkg-deb. Every choice
comes from a fixed seed, and the source photographs are checked against
their known digests, so every machine writes the same corpus."""
import hashlib
import os
import random
import subprocess
import sys

PACKAGES = ["lomiri-wallpapers-16.04=20.04.0-2", "lomiri-wallpapers-20.04=20.04.0-2"]
BACKGROUNDS = "usr/share/backgrounds"

# The camera photographs of those packages (the others are drawings), with
# the digest of the file each package version ships.
SOURCES = {
    "Bridge_by_Sander_Klootwijk.jpg": "bd86b081f9975e2b83527f71e49b9271a8ab40885428395969d9f7d834d7f050",
    "Dragonfly_by_Bolly.jpg": "af5af17841009732def24b09bb1e669a1b09d2b4bdeee7812c371101c30d2bb3",
    "Picture_0B_by_freespace.jpg": "c8c0ab18e48d9e0419fe42881112137f3afafc27dfddc29ec3a6d54c56d225ad",
    "Wine_by_Jakkub_Mede.jpg": "d2e96e6d4da40dd804b3d0ce295e94de04a2d7d9b6785d42cd9d92ba58bced74",
    "aitzgorri_by_Aitzol_Berasategi.jpg": "66268e7b48f8854d36a28765fac6e23ec1aee251daa6da1f64715f201020ad36",
    "analogpattern_by_Peter_Nerlich.jpg": "15372488a192b2be2eafc67bd3ed31cbfca19abe3929e925607fcbc9cb4d4202",
    "free_by_Peter_Nerlich.jpg": "85a5453c2fed514c75973016f3d862aca62eb7ca087618822469274ac1092373",
    "friends_by_Aitzol_Berasategi.jpg": "cc40e313c74e421edffe3403def413c16878ce14661cce7ec5915baeab35538d",
    "greentock_by_Peter_Nerlich.jpg": "e7b20e2db9dcd6e2b278ca55873c2110b35d89cd38b04d0b18728726888e6889",
    "life_by_Aitzol_Berasategi.jpg": "4c119350ead80201fe256850c3d316309ddfb4bdf10b235ce982dcde0c667c05",
    "picosdeeuropa_by_Aitzol_Berasategi.jpg": "414d0072b2f6f2c555deafeaef6e45c4fed6fa9ad26eba6560ca8803959cf97a",
    "seeding_by_Clements_Engelhardt.jpg": "a5634d1ab5e41a3568e92d4a894a500c92b891f9ff734e50bd224d6e185a605f",
    "sunset_by_Aitzol_Berasategi.jpg": "474dab6a4b9f94dc76c29dfe30e9f5db4af0fd2e33fe5d695f8152b371efca18",
    "umang_by_Abhishek_Mudgal.jpg": "bfb425545e77e9f0eb1b037b607fc9ed4a446f3b0f04aa2879be3556073c57ef",
    "Kleiber_by_Lukas_Baubkus.jpg": "6572410c09f4492c74ccadde133565a14c0161617d5917d4c820c66d65a44ba7",
}

# Sizes cameras write, landscape; portrait ones are the same turned.
CAMERA_SIZES = [(1600, 1200), (2048, 1536), (2592, 1944), (3264, 2448), (4000, 3000), (3000, 2000), (3888, 2592)]
QUALITIES = [72, 80, 85, 88, 90, 92, 95]


def fetch(package_dir):
    """The unpacked packages' backgrounds folder, fetched the first time."""
    unpacked = os.path.join(package_dir, "x")
    if not os.path.isdir(os.path.join(unpacked, BACKGROUNDS)):
        os.makedirs(package_dir, exist_ok=True)
        subprocess.run(["apt-get", "download"] + PACKAGES, cwd=package_dir, check=True)
        for deb in sorted(os.listdir(package_dir)):
            if deb.endswith(".deb"):
                subprocess.run(["dpkg-deb", "-x", os.path.join(package_dir, deb), unpacked], check=True)
    folder = os.path.join(unpacked, BACKGROUNDS)
    for name, digest in SOURCES.items():
        with open(os.path.join(folder, name), "rb") as f:
            if hashlib.sha256(f.read()).hexdigest() != digest:
                sys.exit("%s: not the photograph this corpus was made from" % name)
    return folder


def size_of(path):
    out = subprocess.run(["identify", "-format", "%w %h", path], check=True, capture_output=True, text=True)
    w, h = out.stdout.split()
    return int(w), int(h)


def main():
    out_dir = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    package_dir = sys.argv[3] if len(sys.argv) > 3 else os.path.join(os.path.dirname(os.path.abspath(out_dir)), "paquetes")
    folder = fetch(package_dir)
    names = sorted(SOURCES)
    sizes = {name: size_of(os.path.join(folder, name)) for name in names}
    os.makedirs(out_dir, exist_ok=True)
    lines = []
    for i in range(count):
        rng = random.Random("fotolista-real-%d" % i)
        name = names[i % len(names)]
        sw, sh = sizes[name]
        # Sizes the photograph holds without enlarging it, in its own
        # orientation, and a square one.
        fitting = []
        for w, h in CAMERA_SIZES + [(2000, 2000)]:
            if sh > sw and w != h:
                w, h = h, w
            if w <= sw and h <= sh:
                fitting.append((w, h))
        tw, th = fitting[rng.randrange(len(fitting))]
        # A region of the target's shape, up to 1.6 times its size (then
        # reduced, as a camera's processing would), anywhere in the photograph.
        most = min(sw / tw, sh / th, 1.6)
        factor = 1.0 if most <= 1.0 else rng.uniform(1.0, most)
        rw, rh = min(sw, round(tw * factor)), min(sh, round(th * factor))
        x, y = rng.randrange(sw - rw + 1), rng.randrange(sh - rh + 1)
        quality = QUALITIES[rng.randrange(len(QUALITIES))]
        sampling = "4:2:2" if i % 3 == 1 else "4:2:0"
        progressive = i % 5 == 4
        target = "real-%03d.jpg" % (i + 1)
        command = ["convert", os.path.join(folder, name), "-crop", "%dx%d+%d+%d" % (rw, rh, x, y), "+repage"]
        if (rw, rh) != (tw, th):
            command += ["-filter", "Lanczos", "-resize", "%dx%d!" % (tw, th)]
        command += ["-strip", "-sampling-factor", sampling, "-quality", str(quality),
                    "-define", "jpeg:optimize-coding=%s" % ("true" if progressive else "false"),
                    "-interlace", "JPEG" if progressive else "None", os.path.join(out_dir, target)]
        subprocess.run(command, check=True)
        lines.append("real-%03d\tR%03d\t.jpg\n" % (i + 1, i + 1))
    with open(os.path.join(out_dir, "lista.tsv"), "w", encoding="utf-8") as f:
        f.writelines(lines)


main()
