#!/usr/bin/env python3
"""Plots time against size, log-log, one line per benchmark family, from Google Benchmark JSON.

usage: bench_plot.py OUT.png RESULT.json...

A benchmark named "Family/name:size[/more:args]" gives one point of the line "Family" (more
arguments make lines of their own: "Family more:args"), at x = size, y = the CPU time of one
run of the export in milliseconds. A second panel draws the same lines for the benchmarks'
replay_ms counter: the simulator's time for the export's calls played without the library.
"""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

SCALE_TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def series(paths, counter=None):
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
            if counter is None:
                ms = run["cpu_time"] * SCALE_TO_MS[run["time_unit"]]
            elif counter in run:
                ms = run[counter]
            else:
                continue
            lines.setdefault(label, []).append((size, ms))
    return lines


def main():
    out, paths = sys.argv[1], sys.argv[2:]
    fig, (left, right) = plt.subplots(1, 2, figsize=(14, 6), dpi=100, sharey=True)
    exports = series(paths)
    colours = {label: f"C{i % 10}" for i, label in enumerate(sorted(exports))}
    panels = [
        (left, exports, "the export, with the library: CPU time per run (ms)"),
        (right, series(paths, "replay_ms"), "its calls played without the library (replay_ms)"),
    ]
    for ax, lines, title in panels:
        for label, points in sorted(lines.items()):
            points.sort()
            ax.plot([p[0] for p in points], [p[1] for p in points], marker="o", label=label,
                    color=colours.get(label))
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_title(title, fontsize=10)
        ax.set_xlabel("size (folders, picks, recipients, profiles, log lines)")
        ax.grid(True, which="both", linewidth=0.3)
    left.set_ylabel("ms")
    left.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(out)


if __name__ == "__main__":
    main()
