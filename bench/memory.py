#!/usr/bin/env python3
"""Peak memory of vorlatic on inputs that no fixed buffer holds: a single token of 1 GiB (digits,
and junk), a 1 GiB run of whitespace, and 30 s of /dev/zero (one endless token), each with the
console to /dev/null. Memory must stay under 16 MiB whatever the input.

    python3 bench/memory.py [--seconds 30] [--gib 1]
"""
import argparse
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")
LIMIT_MIB = 16


def write_input(path, head, fill, size, tail):
    """head, then `size` bytes of `fill`, then tail, written a MiB at a time."""
    block = fill * (1 << 20)
    with open(path, "wb") as out:
        out.write(head)
        for _ in range(size >> 20):
            out.write(block)
        out.write(tail)


def run(command, seconds=None):
    """Wall seconds, peak resident MiB and exit status of one run, measured by a small process of
    its own (a child forked from this script would count the script's memory too); interrupted
    after `seconds` if given (status 0 then means it ended by that interrupt)."""
    measure = [os.path.join(BUILD, "bench", "vorlatic-measure")]
    if seconds is not None:
        measure += ["--interrupt-after", str(seconds)]
    result = subprocess.run(measure + command, stdout=subprocess.PIPE, text=True)
    wall, _, peak = result.stdout.split()
    return float(wall), int(peak) / 1024, result.returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=30, help="how long /dev/zero runs")
    parser.add_argument("--gib", type=int, default=1, help="size of the long inputs in GiB")
    parser.add_argument("--data", default=tempfile.gettempdir())
    args = parser.parse_args()
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
                    "-DVORLATIC_BUILD_TESTS=OFF", "-DVORLATIC_BUILD_BENCH=ON"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j2", "--target", "vorlatic", "vorlatic-measure"],
                   check=True, stdout=subprocess.DEVNULL)
    vorlatic = os.path.join(BUILD, "converter", "vorlatic")
    size = args.gib << 30
    work = tempfile.mkdtemp(dir=args.data, prefix="vorlatic-memory-")
    output = os.path.join(work, "out.3db")
    cases = [
        ("a token of digits", b"1 0\n", b"7", size, b" 2 3\n"),
        ("a token of junk", b"1 0\n", b"x", size, b" 2 3\n"),
        ("a run of whitespace", b"1 0\n1 2", b" ", size, b" 3\n"),
    ]
    print(f"{'input':<34}{'seconds':>9}{'peak MiB':>10}{'status':>8}")
    worst = 0.0
    try:
        for name, head, fill, length, tail in cases:
            path = os.path.join(work, "in.msh")
            write_input(path, head, fill, length, tail)
            wall, peak, status = run([vorlatic, path, output])
            os.remove(path)
            worst = max(worst, peak)
            print(f"{name + f' ({args.gib} GiB)':<34}{wall:>9.2f}{peak:>10.1f}{status:>8}")
        wall, peak, status = run([vorlatic, "/dev/zero", output], args.seconds)
        worst = max(worst, peak)
        print(f"{f'/dev/zero for {args.seconds:g} s':<34}{wall:>9.2f}{peak:>10.1f}{status:>8}")
    finally:
        for name in os.listdir(work):
            os.remove(os.path.join(work, name))
        os.rmdir(work)
    print(f"largest peak: {worst:.1f} MiB (limit {LIMIT_MIB} MiB)")
    sys.exit(0 if worst < LIMIT_MIB else 1)


if __name__ == "__main__":
    main()
