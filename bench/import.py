#!/usr/bin/env python3
"""vorlatic-import against `assimp export` (Debian assimp-utils) on a large model, side by side.

Generates a 1000 x 1000 grid of quads as OBJ (2,000,000 triangles, about 46 MB), then times
`vorlatic-import grid.obj out.3db --max-vertices 60000` and `assimp export grid.obj out.stl`
alternately, and reports median wall time, peak resident memory (the whole process tree: the
importer's isolated reader included) and the ratios, then how the importer's time splits.

    python3 bench/import.py [--runs N]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

from run import BUILD, ROOT, measure  # the whole-run benchmark's build and measuring
SIDE = 1000


def write_grid(path):
    with open(path, "w") as out:
        for y in range(SIDE + 1):
            out.write("".join(f"v {x} {y} {(x * y) % 5 * 0.25:g}\n" for x in range(SIDE + 1)))
        for y in range(SIDE):
            row = []
            for x in range(1, SIDE + 1):
                a = y * (SIDE + 1) + x
                row.append(f"f {a} {a + 1} {a + SIDE + 2} {a + SIDE + 1}\n")
            out.write("".join(row))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--data", default=os.path.join(tempfile.gettempdir(), "vorlatic-bench"))
    args = parser.parse_args()
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
                    "-DVORLATIC_BUILD_TESTS=OFF", "-DVORLATIC_BUILD_BENCH=ON"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j2", "--target", "vorlatic-import",
                    "vorlatic-measure"], check=True, stdout=subprocess.DEVNULL)
    assimp = subprocess.run(["which", "assimp"], stdout=subprocess.PIPE, text=True).stdout.strip()
    if not assimp:
        sys.exit("assimp not found: apt-get install assimp-utils")
    os.makedirs(args.data, exist_ok=True)
    model = os.path.join(args.data, "grid.obj")
    if not os.path.exists(model):
        write_grid(model + ".part")
        os.replace(model + ".part", model)
    importer = os.path.join(BUILD, "importer", "vorlatic-import")
    programs = {
        "vorlatic-import": [importer, model, os.path.join(args.data, "grid.3db"),
                            "--max-vertices", "60000"],
        "assimp export": [assimp, "export", model, os.path.join(args.data, "grid.stl")],
    }
    samples = {name: [] for name in programs}
    for _ in range(max(3, args.runs)):
        for name, command in programs.items():
            wall, cpu, peak = measure(command)
            samples[name].append((wall, cpu, peak / 1024))
    print(f"model: {model}, {os.path.getsize(model) / 1e6:.1f} MB, "
          f"{2 * SIDE * SIDE} triangles; {max(3, args.runs)} runs each, alternating")
    print(f"{'program':<18}{'median s':>10}{'cpu s':>8}{'peak MiB':>10}")
    medians = {}
    for name in programs:
        wall = statistics.median(s[0] for s in samples[name])
        cpu = statistics.median(s[1] for s in samples[name])
        peak = max(s[2] for s in samples[name])
        medians[name] = (wall, peak)
        print(f"{name:<18}{wall:>10.2f}{cpu:>8.2f}{peak:>10.0f}")
    (iw, ip), (aw, ap) = medians["vorlatic-import"], medians["assimp export"]
    print(f"vorlatic-import / assimp export: time {iw / aw:.2f}, memory {ip / ap:.2f}")
    steps = subprocess.run(programs["vorlatic-import"] + ["--times"], stdout=subprocess.PIPE,
                           text=True, check=True).stdout
    print(steps.rstrip())


if __name__ == "__main__":
    main()
