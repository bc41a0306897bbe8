#!/usr/bin/python3
"""Draws the benchmark table (TSV from zephor_bench --tsv) as a log-log plot of seconds against
basis functions: one panel per molecule family, one line per phase, plus the n^3 slope."""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main(tsv, png):
    rows = list(csv.DictReader(open(tsv), delimiter="\t"))
    families = []
    for r in rows:
        if r["family"] not in families:
            families.append(r["family"])
    phases = [("solve", "dsygv", "-o"), ("total", "total", "-s"), ("assembly", "assembly", "--^"),
              ("analysis", "analysis", "--v"), ("output", "output", "--d"), ("input", "input", ":x")]
    fig, axes = plt.subplots(1, len(families), figsize=(5.2 * len(families), 4.6), sharey=True)
    if len(families) == 1:
        axes = [axes]
    for ax, fam in zip(axes, families):
        fr = [r for r in rows if r["family"] == fam]
        n = [int(r["basis"]) for r in fr]
        for key, label, style in phases:
            ax.plot(n, [max(float(r[key]), 1e-4) for r in fr], style, label=label, markersize=4)
        # Reference slope n^3 through the largest solve.
        ref = float(fr[-1]["solve"]) / n[-1] ** 3
        ax.plot(n, [ref * x ** 3 for x in n], color="grey", linewidth=0.8, label="n³")
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_title(fam)
        ax.set_xlabel("basis functions")
        ax.grid(True, which="both", linewidth=0.3)
    axes[0].set_ylabel("seconds")
    axes[-1].legend(loc="upper left", fontsize=8)
    fig.suptitle("ZEPHOR: time per phase (2 OpenMP threads, dsygv on one)")
    fig.tight_layout()
    fig.savefig(png, dpi=110)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
