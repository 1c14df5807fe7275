#!/usr/bin/env python3
"""vorlatic-import against `assimp export` (Debian assimp-utils) or another build, on a large model.

Generates a SIDE x SIDE grid of quads as OBJ (--side 1000, the default: 2,000,000 triangles,
about 43 MB; --side 1470: 4,321,800 triangles, about 96 MB), then times `vorlatic-import grid.obj
out.3db --max-vertices 60000` and `assimp export grid.obj out.stl` (or, with --against PATH,
that other vorlatic-import; --no-assimp leaves assimp out) alternately, and reports median wall
time, peak resident memory (the whole process tree: the importer's isolated reader included) and
the ratios, then how the importer's time splits and its summary's simplification line.

    python3 bench/import.py [--runs N] [--side N] [--against PATH] [--no-assimp] [--jobs N]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

import run  # the whole-run benchmark's build and measuring
from run import BUILD, ROOT, measure


def write_grid(path, side):
    with open(path, "w") as out:
        for y in range(side + 1):
            out.write("".join(f"v {x} {y} {(x * y) % 5 * 0.25:g}\n" for x in range(side + 1)))
        for y in range(side):
            row = []
            for x in range(1, side + 1):
                a = y * (side + 1) + x
                row.append(f"f {a} {a + 1} {a + side + 2} {a + side + 1}\n")
            out.write("".join(row))


def print_steps(programs):
    """How each importer's time splits, and its summary's simplification line."""
    for name in programs:
        if name != "assimp export":
            out = subprocess.run(programs[name] + ["--times"], stdout=subprocess.PIPE, text=True,
                                 check=True).stdout
            print(f"{name}:")
            for line in out.splitlines():
                if line.startswith(("simplified:", "seconds:")):
                    print("  " + line)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--side", type=int, default=1000, help="quads along each side of the grid")
    parser.add_argument("--against", help="another vorlatic-import binary, timed alternately")
    parser.add_argument("--no-assimp", action="store_true", help="leave `assimp export` out")
    parser.add_argument("--jobs", type=int, default=2, help="parallel jobs of the build")
    parser.add_argument("--build", default=BUILD, help="the build folder of this tree")
    parser.add_argument("--data", default=os.path.join(tempfile.gettempdir(), "vorlatic-bench"))
    args = parser.parse_args()
    run.BUILD = args.build  # where measure() finds vorlatic-measure
    subprocess.run(["cmake", "-S", ROOT, "-B", args.build, "-DCMAKE_BUILD_TYPE=Release",
                    "-DVORLATIC_BUILD_TESTS=OFF", "-DVORLATIC_BUILD_BENCH=ON"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", args.build, f"-j{args.jobs}", "--target",
                    "vorlatic-import", "vorlatic-measure"], check=True, stdout=subprocess.DEVNULL)
    os.makedirs(args.data, exist_ok=True)
    model = os.path.join(args.data, "grid.obj" if args.side == 1000 else f"grid{args.side}.obj")
    if not os.path.exists(model):
        write_grid(model + ".part", args.side)
        os.replace(model + ".part", model)
    importer = os.path.join(args.build, "importer", "vorlatic-import")
    programs = {"vorlatic-import": [importer, model, os.path.join(args.data, "grid.3db"),
                                    "--max-vertices", "60000"]}
    if args.against:
        programs["against"] = [args.against, model, os.path.join(args.data, "against.3db"),
                               "--max-vertices", "60000"]
    if not args.no_assimp:
        assimp = subprocess.run(["which", "assimp"], stdout=subprocess.PIPE,
                                text=True).stdout.strip()
        if not assimp:
            sys.exit("assimp not found: apt-get install assimp-utils (or --no-assimp)")
        programs["assimp export"] = [assimp, "export", model, os.path.join(args.data, "grid.stl")]
    samples = {name: [] for name in programs}
    for _ in range(max(3, args.runs)):
        for name, command in programs.items():
            wall, cpu, peak = measure(command)
            samples[name].append((wall, cpu, peak / 1024))
    print(f"model: {model}, {os.path.getsize(model) / 1e6:.1f} MB, "
          f"{2 * args.side * args.side} triangles; {max(3, args.runs)} runs each, alternating")
    if args.against:
        print(f"against: {args.against}")
    print(f"{'program':<18}{'median s':>10}{'cpu s':>8}{'peak MiB':>10}")
    medians = {}
    for name in programs:
        wall = statistics.median(s[0] for s in samples[name])
        cpu = statistics.median(s[1] for s in samples[name])
        peak = max(s[2] for s in samples[name])
        medians[name] = (wall, peak)
        print(f"{name:<18}{wall:>10.2f}{cpu:>8.2f}{peak:>10.0f}")
    iw, ip = medians["vorlatic-import"]
    for name in programs:
        if name != "vorlatic-import":
            w, p = medians[name]
            print(f"vorlatic-import / {name}: time {iw / w:.2f}, memory {ip / p:.2f}")
    print_steps(programs)


if __name__ == "__main__":
    main()
