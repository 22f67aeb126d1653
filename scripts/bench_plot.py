#!/usr/bin/env python3
"""Plots time against size, log-log, one line per benchmark family, from Google Benchmark JSON.

usage: bench_plot.py OUT.png RESULT.json...

A benchmark named "Family/name:size[/more:args]" gives one point of the line "Family" (more
arguments make lines of their own: "Family more:args"), at x = size, y = the CPU time of one
run of the export in milliseconds.
"""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

SCALE_TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def series(paths):
    lines = {}
    for path in paths:
        with open(path, encoding="utf-8") as f:
            results = json.load(f)
        for run in results["benchmarks"]:
            if run.get("run_type") != "iteration" or run.get("error_occurred"):
                continue
            family, *args = run["run_name"].split("/")
            size = float(args[0].split(":")[-1]) if args else 1.0
            label = " ".join([family] + args[1:])
            ms = run["cpu_time"] * SCALE_TO_MS[run["time_unit"]]
            lines.setdefault(label, []).append((size, ms))
    return lines


def main():
    out, paths = sys.argv[1], sys.argv[2:]
    fig, ax = plt.subplots(figsize=(9, 6), dpi=100)
    for label, points in sorted(series(paths).items()):
        points.sort()
        ax.plot([p[0] for p in points], [p[1] for p in points], marker="o", label=label)
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("size (folders, picks, recipients, profiles, log lines)")
    ax.set_ylabel("CPU time per run (ms)")
    ax.grid(True, which="both", linewidth=0.3)
    ax.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(out)


if __name__ == "__main__":
    main()
