#!/usr/bin/env python3
"""Prints line and branch coverage per folder of src/ from gcovr's JSON summary, and exits 1
when the line coverage of the whole of src/ is below the minimum.

usage: coverage_table.py SUMMARY.json MINIMUM
"""

import json
import os
import sys

sys.dont_write_bytecode = True  # keep scripts/ free of __pycache__


def folder_of(filename):
    """src/redirect/folder_markers.cpp -> src/redirect; src/mapi/portable/x.cpp -> src/mapi."""
    parts = filename.split("/")
    return "/".join(parts[:2]) if len(parts) > 2 else os.path.dirname(filename)


def percent(covered, total):
    return 100.0 * covered / total if total else 100.0


def table(summary):
    folders = {}
    for entry in summary["files"]:
        counts = folders.setdefault(folder_of(entry["filename"]), [0, 0, 0, 0])
        counts[0] += entry["line_covered"]
        counts[1] += entry["line_total"]
        counts[2] += entry["branch_covered"]
        counts[3] += entry["branch_total"]
    rows = [("folder", "lines", "line %", "branches", "branch %")]
    for name in sorted(folders):
        lc, lt, bc, bt = folders[name]
        rows.append((name, f"{lc}/{lt}", f"{percent(lc, lt):.1f}", f"{bc}/{bt}",
                     f"{percent(bc, bt):.1f}"))
    lc, lt = summary["line_covered"], summary["line_total"]
    bc, bt = summary["branch_covered"], summary["branch_total"]
    rows.append(("src (all)", f"{lc}/{lt}", f"{percent(lc, lt):.1f}", f"{bc}/{bt}",
                 f"{percent(bc, bt):.1f}"))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    lines = []
    for index, row in enumerate(rows):
        cells = [row[0].ljust(widths[0])] + [cell.rjust(w) for cell, w in zip(row[1:], widths[1:])]
        lines.append("  ".join(cells))
        if index == 0 or index == len(rows) - 2:
            lines.append("  ".join("-" * w for w in widths))
    return lines, percent(lc, lt)


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        summary = json.load(f)
    lines, overall = table(summary)
    print("\n".join(lines))
    minimum = float(argv[2])
    if overall < minimum:
        print(f"coverage: line coverage of src/ is {overall:.1f} %, below {minimum:g} %",
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
