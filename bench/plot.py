#!/usr/bin/env python3
"""Plots the cost per service of the copy against the hospital's size from the JSON lines of a
bench run, per database and path: the copy on plain loopback, and the floors where the run
measured them (the replay floor, the database floor beside the server-side copy, and the bare
floors of the same rows written one service a transaction and 64 to a commit)."""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main(results_path, png_path):
    copy, floor, db_floor, bare = {}, {}, {}, {}
    with open(results_path, encoding="utf-8") as results:
        for line in results:
            line = line.strip()
            if not line.startswith("{"):
                continue
            figure = json.loads(line)
            params = figure.get("params", {})
            # over a relay, or a sample of the day: another question than cost against size
            if "rtt_ms" in params or "copied_patients" in params:
                continue
            path = params.get("path", "calls")
            if params.get("group_services") == 1:
                path += ", each copy committed alone"
            key = (params.get("db", ""), path)
            point = (params.get("services", 0), figure["value"], params.get("patients", 0))
            if figure["name"] == "copy_us_per_service":
                copy.setdefault(key, []).append(point)
            elif figure["name"] == "floor_us_per_service":
                floor.setdefault(key, []).append(point)
            elif figure["name"] == "db_floor_us_per_service":
                db_floor.setdefault(key, []).append(point)
            elif figure["name"] in ("bare_floor_one_sync_seconds", "bare_floor_batched_seconds"):
                per_service = figure["value"] * 1e6 / max(1, params.get("services", 1))
                one_sync = figure["name"] == "bare_floor_one_sync_seconds"
                bare.setdefault((key[0], "one sync a service" if one_sync else "64 services a commit"), []).append(
                    (point[0], per_service, point[2]))
    if not copy:
        sys.exit("plot.py: no copy_us_per_service figures in " + results_path)
    fig, ax = plt.subplots(figsize=(11, 4.8), dpi=110)
    for (db, path), points in sorted(copy.items()):
        points.sort()
        ax.plot([p[0] for p in points], [p[1] for p in points], marker="o", label=f"copy, {db}, {path}")
        for services, cost, patients in points:
            ax.annotate(f"{patients} pat.", (services, cost), textcoords="offset points", xytext=(4, 6), fontsize=8)
    for (db, path), points in sorted(floor.items()):
        points.sort()
        ax.plot([p[0] for p in points], [p[1] for p in points], marker="s", linestyle="--",
                label=f"replay floor (transport only), {db}, {path}")
    for (db, path), points in sorted(db_floor.items()):
        points.sort()
        ax.plot([p[0] for p in points], [p[1] for p in points], marker="^", linestyle=":",
                label=f"database floor (in process), {db}")
    for (db, batching), points in sorted(bare.items()):
        points.sort()
        ax.plot([p[0] for p in points], [p[1] for p in points], marker="v", linestyle="-.",
                label=f"bare floor (the rows only), {batching}, {db}")
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("services of the run (log scale)")
    ax.set_ylabel("microseconds per service (log scale)")
    ax.set_title("Copy of a hospital day: cost per service against size")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=7)
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
