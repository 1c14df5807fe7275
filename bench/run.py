#!/usr/bin/env python3
"""Whole-run benchmark: vorlatic against the straightforward baseline converter, side by side.

Builds in Release, generates a large mesh (2,000,000 vertices / 4,000,000 faces, about 130 MB) and
a 10x smaller one, checks that every converter writes identical bytes, then times them alternately
with the console sent to /dev/null and reports the median wall time, MB of input per second, peak
resident memory and the ratio of the medians. With --against REV, the vorlatic of an earlier
commit (built in its own worktree) runs in the same alternation.

    python3 bench/run.py [--runs N] [--micro] [--sizes large,small] [--against REV]
    python3 bench/run.py --small [--against REV]    the cost of a small file: start-up
    python3 bench/run.py --game 1000                a game of 1000 meshes built with Ninja, -j2
"""
import argparse
import filecmp
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")
SIZES = {"large": (2_000_000, 4_000_000), "small": (200_000, 400_000)}


def build(source, build_dir, bench=True):
    options = ["-DCMAKE_BUILD_TYPE=Release", "-DVORLATIC_BUILD_TESTS=OFF"]
    if bench:
        options.append("-DVORLATIC_BUILD_BENCH=ON")
    subprocess.run(["cmake", "-S", source, "-B", build_dir] + options,
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "vorlatic"]
                   + (["--target", "all"] if bench else []), check=True, stdout=subprocess.DEVNULL)


def converter_of(build_dir):
    """The vorlatic binary of a build, wherever that commit's layout put it."""
    for folder in ("converter", "cli"):
        path = os.path.join(build_dir, folder, "vorlatic")
        if os.path.exists(path):
            return path
    sys.exit(f"no vorlatic built in {build_dir}")


def build_revision(revision):
    """Builds vorlatic as it was at `revision`, in a worktree of its own; returns the binary."""
    commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", revision], check=True,
                            stdout=subprocess.PIPE, text=True).stdout.strip()
    tree = os.path.join(tempfile.gettempdir(), f"vorlatic-bench-{commit}")
    if not os.path.exists(tree):
        subprocess.run(["git", "-C", ROOT, "worktree", "add", "--detach", tree, commit],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    build(tree, os.path.join(tree, "build"), bench=False)
    return commit, converter_of(os.path.join(tree, "build"))


def measure(command):
    """Wall seconds, CPU seconds and peak resident KiB of one run, console to /dev/null."""
    result = subprocess.run([os.path.join(BUILD, "bench", "vorlatic-measure")] + command,
                            stdout=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.exit(f"failed ({result.returncode}): {' '.join(command)}")
    wall, cpu, peak = result.stdout.split()
    return float(wall), float(cpu), int(peak)


def mesh_file(data, generator, vertices, faces):
    mesh = os.path.join(data, f"mesh-{vertices}-{faces}.msh")
    if not os.path.exists(mesh):
        with open(mesh + ".part", "wb") as out:
            subprocess.run([generator, str(vertices), str(faces), "1"], stdout=out, check=True)
        os.replace(mesh + ".part", mesh)
    return mesh


def compare(name, mesh, programs, runs, data):
    """Runs every program on `mesh` in turn, `runs` times; prints one row each and the ratios."""
    megabytes = os.path.getsize(mesh) / 1e6
    outputs = {label: os.path.join(data, f"{name}-{label}.3db") for label in programs}
    samples = {label: [] for label in programs}
    for _ in range(runs):
        for label, program in programs.items():
            # Each run starts alike: no output file to replace, and no write-back of the previous
            # run's output still going on beside it.
            if os.path.exists(outputs[label]):
                os.remove(outputs[label])
            os.sync()
            samples[label].append(measure([program, mesh, outputs[label]]))
    first = next(iter(programs))
    for label in programs:
        if not filecmp.cmp(outputs[first], outputs[label], shallow=False):
            sys.exit(f"{name}: {first} and {label} wrote different bytes")
    medians = {}
    for label in programs:
        wall = statistics.median(s[0] for s in samples[label])
        cpu = statistics.median(s[1] for s in samples[label])
        peak = max(s[2] for s in samples[label]) / 1024
        medians[label] = wall
        print(f"{name:<7}{megabytes:>8.1f}  {label:<16}{wall:>9.3f}{cpu:>8.3f}"
              f"{megabytes / wall:>8.0f}{peak:>10.1f}{wall * 1000 / megabytes:>8.2f}")
    for label in programs:
        if label != first:
            print(f"{name:<7}{'':>8}  median wall, {label} / {first}: "
                  f"{medians[label] / medians[first]:.2f}")
    for path in outputs.values():
        os.remove(path)
    return medians[first] * 1000 / megabytes


def small_files(programs, runs, data):
    """Whole-process time of each program on the usage line, a one-vertex mesh and the cube."""
    one = os.path.join(data, "one.msh")
    with open(one, "w") as out:
        out.write("1 0\n1 2 3\n")
    cases = {"usage line": [], "one vertex": [one], "cube": [os.path.join(ROOT, "examples", "cube.msh")]}
    print(f"{'input':<12}" + "".join(f"{label:>18}" for label in programs) + "   (median ms)")
    for name, inputs in cases.items():
        samples = {label: [] for label in programs}
        for _ in range(runs):
            for label, program in programs.items():
                command = [program] + inputs + ([os.path.join(data, "small.3db")] if inputs else [])
                result = subprocess.run([os.path.join(BUILD, "bench", "vorlatic-measure")] + command,
                                        stdout=subprocess.PIPE, text=True)
                samples[label].append(float(result.stdout.split()[0]) * 1000)
        print(f"{name:<12}" + "".join(f"{statistics.median(samples[label]):>18.2f}"
                                       for label in programs))


def game_build(count, data):
    """Builds a game of `count` small meshes through vorlatic_add_meshes with Ninja, -j2."""
    meshes = os.path.join(data, f"game-{count}")
    os.makedirs(meshes, exist_ok=True)
    cube = open(os.path.join(ROOT, "examples", "cube.msh")).read()
    for i in range(count):
        with open(os.path.join(meshes, f"mesh{i}.msh"), "w") as out:
            out.write(cube)
    build_dir = os.path.join(data, f"game-{count}-build")
    subprocess.run(["rm", "-rf", build_dir], check=True)
    subprocess.run(["cmake", "-S", os.path.join(ROOT, "tests", "game"), "-B", build_dir, "-G",
                    "Ninja", f"-DVORLATIC_SOURCE_DIR={ROOT}", f"-DMESH_DIR={meshes}",
                    "-DCMAKE_BUILD_TYPE=Release"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "vorlatic"], check=True,
                   stdout=subprocess.DEVNULL)
    start = time.monotonic()
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "meshes"], check=True,
                   stdout=subprocess.DEVNULL)
    wall = time.monotonic() - start
    print(f"game of {count} meshes (the cube each), Ninja -j2: {wall:.2f} s, "
          f"{wall * 1000 / count:.2f} ms per mesh")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="runs of each program per size (>= 3)")
    parser.add_argument("--sizes", default="large,small")
    parser.add_argument("--against", metavar="REV", help="also time vorlatic as built at REV")
    parser.add_argument("--no-baseline", action="store_true", help="leave the baseline out")
    parser.add_argument("--micro", action="store_true", help="also run the micro-benchmarks")
    parser.add_argument("--small", action="store_true", help="time small files instead")
    parser.add_argument("--game", type=int, metavar="N", help="time a game of N meshes instead")
    parser.add_argument("--data", default=os.path.join(tempfile.gettempdir(), "vorlatic-bench"))
    args = parser.parse_args()
    runs = max(3, args.runs)
    build(ROOT, BUILD)
    os.makedirs(args.data, exist_ok=True)
    programs = {"vorlatic": converter_of(BUILD)}
    if args.against:
        commit, binary = build_revision(args.against)
        programs[f"vorlatic@{commit}"] = binary
    if not args.no_baseline:
        programs["baseline"] = os.path.join(BUILD, "bench", "vorlatic-baseline")
    if args.small:
        small_files(programs, max(runs, 20), args.data)
        return
    if args.game:
        game_build(args.game, args.data)
        return
    generator = os.path.join(BUILD, "bench", "vorlatic-genmesh")

    print(f"machine: {os.cpu_count()} cores; {runs} runs each, alternating; console to /dev/null")
    print(f"{'mesh':<7}{'MB':>8}  {'program':<16}{'median s':>9}{'cpu s':>8}{'MB/s':>8}"
          f"{'peak MiB':>10}{'ms/MB':>8}")
    costs = {}
    for name in args.sizes.split(","):
        mesh = mesh_file(args.data, generator, *SIZES[name])
        costs[name] = compare(name, mesh, programs, runs, args.data)
    if "large" in costs and "small" in costs:
        print(f"cost per MB, large / small (vorlatic): {costs['large'] / costs['small']:.2f}")
    if args.micro:
        micro = os.path.join(BUILD, "bench", "vorlatic-microbench")
        if os.path.exists(micro):
            subprocess.run([micro], check=True)
        else:
            print("micro-benchmarks not built: Google Benchmark (libbenchmark-dev) is missing")


if __name__ == "__main__":
    main()
