#!/usr/bin/env python3
"""Growth of one benchmark's time from size to size, measured so that the noise of a shared
machine shows as such.

usage: bench_growth.py PROGRAM PREFIX SIZES [SUFFIX] [--rounds N]

  bench_growth.py build/release/bench/bench_address_book PickEntries/picks: 1000,10000
  bench_growth.py build/release/bench/bench_redirect EditRedirection/folders: \\
      1000,10000,100000 /deep:0/marked:1

Every round starts the program once per size, as a process of its own, with three repetitions
of the benchmark PREFIX<size>SUFFIX; the rounds alternate the order of the sizes. Per size it
prints the fastest and the median repetition (Google Benchmark's CPU time, the mean over a
repetition's runs) and the fastest single run of the export (the fastest_ms counter), and per
step from size to size the growth of each. The figures are for reading, not for judging: no
test or CI step runs this.
"""
import collections
import json
import statistics
import subprocess
import sys


def main(argv):
    rounds = 4
    if "--rounds" in argv:
        at = argv.index("--rounds")
        rounds = int(argv[at + 1])
        argv = argv[:at] + argv[at + 2:]
    if len(argv) not in (3, 4):
        sys.exit(__doc__)
    program, prefix, sizes = argv[0], argv[1], argv[2].split(",")
    suffix = argv[3] if len(argv) == 4 else ""
    means = collections.defaultdict(list)
    fastest = {}
    for round_ in range(rounds):
        for size in sizes if round_ % 2 == 0 else reversed(sizes):
            name = f"{prefix}{size}{suffix}"
            out = subprocess.run(
                [program, f"--benchmark_filter=^{name}$", "--benchmark_repetitions=3",
                 "--benchmark_format=json"],
                capture_output=True, text=True, check=True).stdout
            runs = [r for r in json.loads(out)["benchmarks"] if r.get("run_type") == "iteration"]
            if not runs or any(r.get("error_occurred") for r in runs):
                sys.exit(f"bench_growth: {name}: no run, or a run failed")
            for run in runs:
                means[size].append(run["cpu_time"])
                if "fastest_ms" in run:
                    fastest[size] = min(fastest.get(size, run["fastest_ms"]), run["fastest_ms"])
    unit = runs[0]["time_unit"]
    for size in sizes:
        line = f"{size}: fastest {min(means[size]):.2f} {unit}, median {statistics.median(means[size]):.2f} {unit}"
        if size in fastest:
            line += f", fastest run {fastest[size]:.2f} ms"
        print(line)
    for a, b in zip(sizes, sizes[1:]):
        line = (f"{a} -> {b}: fastest x{min(means[b]) / min(means[a]):.2f}, "
                f"median x{statistics.median(means[b]) / statistics.median(means[a]):.2f}")
        if a in fastest and b in fastest:
            line += f", fastest run x{fastest[b] / fastest[a]:.2f}"
        print(line)


if __name__ == "__main__":
    main(sys.argv[1:])
