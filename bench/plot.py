#!/usr/bin/env python3
"""Plots the per-call cost of the copy against the hospital's size from the JSON lines of a
bench run: the copy, and the floor where the run measured one."""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main(results_path, png_path):
    copy, floor = {}, {}
    with open(results_path, encoding="utf-8") as results:
        for line in results:
            line = line.strip()
            if not line.startswith("{"):
                continue
            figure = json.loads(line)
            params = figure.get("params", {})
            db = params.get("db", "")
            if figure["name"] == "copy_us_per_call":
                copy.setdefault(db, []).append((params["round_trips"], figure["value"], params["patients"]))
            elif figure["name"] == "floor_us_per_call":
                floor.setdefault(db, []).append((params["round_trips"], figure["value"], params["patients"]))
    if not copy:
        sys.exit("plot.py: no copy_us_per_call figures in " + results_path)
    fig, ax = plt.subplots(figsize=(8, 4.8), dpi=110)
    for db, points in sorted(copy.items()):
        points.sort()
        ax.plot([p[0] for p in points], [p[1] for p in points], marker="o", label=f"copy, {db}")
        for trips, cost, patients in points:
            ax.annotate(f"{patients} pat.", (trips, cost), textcoords="offset points", xytext=(4, 6), fontsize=8)
    for db, points in sorted(floor.items()):
        points.sort()
        ax.plot([p[0] for p in points], [p[1] for p in points], marker="s", linestyle="--",
                label=f"floor (transport only), {db}")
    ax.set_xscale("log")
    ax.set_ylim(bottom=0)
    ax.set_xlabel("round trips of the run (log scale)")
    ax.set_ylabel("microseconds per round trip")
    ax.set_title("Copy of a hospital day: cost per call against size")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(loc="best", fontsize=8)
    fig.tight_layout()
    fig.savefig(png_path)


def table(results_path):
    """Prints the figures of a run as a Markdown table."""
    print("| figure | value | unit | parameters |")
    print("|---|---:|---|---|")
    with open(results_path, encoding="utf-8") as results:
        for line in results:
            if not line.startswith("{"):
                continue
            figure = json.loads(line)
            params = ", ".join(f"{k}={v}" for k, v in sorted(figure.get("params", {}).items()))
            value = figure["value"]
            shown = f"{value:.3f}" if isinstance(value, float) and not value.is_integer() else f"{value:g}"
            print(f"| {figure['name']} | {shown} | {figure['unit']} | {params} |")


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--table":
        table(sys.argv[2])
    elif len(sys.argv) == 3:
        main(sys.argv[1], sys.argv[2])
    else:
        sys.exit("usage: plot.py RESULTS.jsonl OUT.png | plot.py --table RESULTS.jsonl")
