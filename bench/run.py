#!/usr/bin/env python3
"""Whole-run benchmark: vorlatic against the straightforward baseline converter, side by side.

Builds in Release, generates a large mesh (2,000,000 vertices / 4,000,000 faces, about 130 MB) and
a 10x smaller one, checks that both converters write identical bytes, then times them alternately
with the console sent to /dev/null and reports the median wall time, MB of input per second, peak
resident memory and the ratio of the medians.

    python3 bench/run.py [--runs N] [--micro] [--sizes large,small]
"""
import argparse
import filecmp
import os
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")
SIZES = {"large": (2_000_000, 4_000_000), "small": (200_000, 400_000)}


def build():
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
                    "-DVORLATIC_BUILD_BENCH=ON", "-DVORLATIC_BUILD_TESTS=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j2"], check=True, stdout=subprocess.DEVNULL)


def measure(command):
    """Wall seconds and peak resident KiB of one run, console to /dev/null."""
    result = subprocess.run([os.path.join(BUILD, "bench", "vorlatic-measure")] + command,
                            stdout=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.exit(f"failed ({result.returncode}): {' '.join(command)}")
    wall, peak = result.stdout.split()
    return float(wall), int(peak)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="runs of each program per size (>= 3)")
    parser.add_argument("--sizes", default="large,small")
    parser.add_argument("--micro", action="store_true", help="also run the micro-benchmarks")
    parser.add_argument("--data", default=os.path.join(tempfile.gettempdir(), "vorlatic-bench"))
    args = parser.parse_args()
    runs = max(3, args.runs)
    build()
    os.makedirs(args.data, exist_ok=True)
    vorlatic = os.path.join(BUILD, "cli", "vorlatic")
    baseline = os.path.join(BUILD, "bench", "vorlatic-baseline")
    generator = os.path.join(BUILD, "bench", "vorlatic-genmesh")

    print(f"machine: {os.cpu_count()} cores; {runs} runs each, alternating; console to /dev/null")
    header = f"{'mesh':<7}{'MB':>8}  {'program':<9}{'median s':>9}{'MB/s':>8}{'peak MiB':>10}{'ms/MB':>8}"
    print(header)
    costs = {}
    for name in args.sizes.split(","):
        vertices, faces = SIZES[name]
        mesh = os.path.join(args.data, f"mesh-{vertices}-{faces}.msh")
        if not os.path.exists(mesh):
            with open(mesh + ".part", "wb") as out:
                subprocess.run([generator, str(vertices), str(faces), "1"], stdout=out, check=True)
            os.replace(mesh + ".part", mesh)
        megabytes = os.path.getsize(mesh) / 1e6
        outputs = {p: os.path.join(args.data, f"{name}-{os.path.basename(p)}.3db")
                   for p in (vorlatic, baseline)}
        times = {vorlatic: [], baseline: []}
        peaks = {vorlatic: [], baseline: []}
        for _ in range(runs):
            for program in (vorlatic, baseline):
                # Each run starts alike: no output file to truncate, and no write-back of the
                # previous run's output still going on beside it.
                if os.path.exists(outputs[program]):
                    os.remove(outputs[program])
                os.sync()
                wall, peak = measure([program, mesh, outputs[program]])
                times[program].append(wall)
                peaks[program].append(peak)
        if not filecmp.cmp(outputs[vorlatic], outputs[baseline], shallow=False):
            sys.exit(f"{name}: vorlatic and the baseline wrote different bytes")
        for program, label in ((vorlatic, "vorlatic"), (baseline, "baseline")):
            median = statistics.median(times[program])
            cost = median * 1000 / megabytes
            costs[(name, label)] = cost
            print(f"{name:<7}{megabytes:>8.1f}  {label:<9}{median:>9.3f}{megabytes / median:>8.0f}"
                  f"{max(peaks[program]) / 1024:>10.1f}{cost:>8.2f}")
        ratio = statistics.median(times[baseline]) / statistics.median(times[vorlatic])
        print(f"{name:<7}{'':>8}  ratio of medians, baseline / vorlatic: {ratio:.1f}x")
        for path in outputs.values():
            os.remove(path)
    if ("large", "vorlatic") in costs and ("small", "vorlatic") in costs:
        print(f"cost per MB, large / small (vorlatic): "
              f"{costs[('large', 'vorlatic')] / costs[('small', 'vorlatic')]:.2f}")
    if args.micro:
        micro = os.path.join(BUILD, "bench", "vorlatic-microbench")
        if os.path.exists(micro):
            subprocess.run([micro], check=True)
        else:
            print("micro-benchmarks not built: Google Benchmark (libbenchmark-dev) is missing")


if __name__ == "__main__":
    main()
