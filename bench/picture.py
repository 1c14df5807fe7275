#!/usr/bin/env python3
"""vorlatic-inspect --png: how long a picture takes, on the device's largest meshes.

Builds in Release (build-bench/), writes two meshes of 65,536 vertices and 130,000 triangles as
mesh text and converts them with vorlatic: a surface (a 256 x 256 grid of heights, what a game's
mesh looks like) and a soup (vorlatic-genmesh's random triangles across the whole box, each
covering a large part of the picture: the worst case for filling pixels). Then times, alternately,
the summary alone, the bundled cube's picture (what any picture costs: opening OSMesa, a context,
its compiled pipeline) and each mesh's picture, at 480x272 and at --size 1920x1080, and reports
the median wall and CPU time and the peak resident memory of each.

    python3 bench/picture.py [--runs N] [--jobs N]
"""
import argparse
import math
import os
import statistics
import subprocess
import tempfile

import run  # the whole-run benchmark's build folder and measuring
from run import BUILD, ROOT, measure

SIDE = 256  # vertices along each side of the surface: 65,536 in all
TRIANGLES = 130_000


def write_surface(path):
    """A SIDE x SIDE grid of heights, its first TRIANGLES triangles."""
    with open(path, "w") as out:
        out.write(f"{SIDE * SIDE} {TRIANGLES}\n")
        for y in range(SIDE):
            out.write("".join(
                f"{x} {8 * math.sin(x / 20) * math.cos(y / 15):.4f} {y}\n" for x in range(SIDE)))
        written = 0
        for y in range(SIDE - 1):
            for x in range(SIDE - 1):
                a = y * SIDE + x
                for face in ((a, a + SIDE, a + 1), (a + 1, a + SIDE, a + SIDE + 1)):
                    if written < TRIANGLES:
                        out.write("%d %d %d\n" % face)
                        written += 1


def converted(data, name, write):
    """The mesh `name` as a 3DB file, written and converted once."""
    mesh = os.path.join(data, f"{name}.3db")
    if not os.path.exists(mesh):
        text = os.path.join(data, f"{name}.msh")
        write(text)
        subprocess.run([run.converter_of(BUILD), text, mesh], check=True,
                       stdout=subprocess.DEVNULL)
    return mesh


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--jobs", type=int, default=2, help="parallel jobs of the build")
    parser.add_argument("--data", default=os.path.join(tempfile.gettempdir(), "vorlatic-bench"))
    args = parser.parse_args()
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
                    "-DVORLATIC_BUILD_TESTS=OFF", "-DVORLATIC_BUILD_BENCH=ON"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, f"-j{args.jobs}", "--target", "vorlatic",
                    "vorlatic-inspect", "vorlatic-genmesh", "vorlatic-measure"], check=True,
                   stdout=subprocess.DEVNULL)
    os.makedirs(args.data, exist_ok=True)
    genmesh = os.path.join(BUILD, "bench", "vorlatic-genmesh")
    surface = converted(args.data, "surface-65536-130000", write_surface)
    soup = converted(args.data, "soup-65536-130000", lambda text: subprocess.run(
        f"'{genmesh}' {SIDE * SIDE} {TRIANGLES} 1 >'{text}'", shell=True, check=True))
    cube = converted(args.data, "cube", lambda text: subprocess.run(
        ["cp", os.path.join(ROOT, "examples", "cube.msh"), text], check=True))
    inspect = os.path.join(BUILD, "inspector", "vorlatic-inspect")
    picture = os.path.join(args.data, "picture.png")
    large = ["--size", "1920x1080"]
    cases = {
        "surface, summary only": [inspect, surface],
        "cube, --png": [inspect, cube, "--png", picture],
        "surface, --png": [inspect, surface, "--png", picture],
        "soup, --png": [inspect, soup, "--png", picture],
        "surface, --png 1920x1080": [inspect, surface, "--png", picture] + large,
        "soup, --png 1920x1080": [inspect, soup, "--png", picture] + large,
    }
    runs = max(3, args.runs)
    samples = {name: [] for name in cases}
    for _ in range(runs):
        for name, command in cases.items():
            samples[name].append(measure(command))
    print(f"machine: {os.cpu_count()} cores; {runs} runs each, alternating; "
          f"meshes of {SIDE * SIDE} vertices and {TRIANGLES} triangles")
    print(f"{'case':<28}{'median s':>10}{'cpu s':>8}{'peak MiB':>10}")
    for name in cases:
        wall = statistics.median(s[0] for s in samples[name])
        cpu = statistics.median(s[1] for s in samples[name])
        peak = max(s[2] for s in samples[name]) / 1024
        print(f"{name:<28}{wall:>10.3f}{cpu:>8.3f}{peak:>10.1f}")


if __name__ == "__main__":
    main()
