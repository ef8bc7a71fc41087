#!/usr/bin/env python3
"""Merges the benchmark outputs of one scripts/bench run and computes the side-by-side ratios.

    python3 bench/collect_results.py --out build/bench/results.json RAW.json...

Each RAW.json is Google Benchmark's --benchmark_out of one program (or pipeline_python.py's
output in the same shape), named after the program; PROGRAM@N.json is round N of a program
run several times, and the quickest round of each figure counts. The merged file holds the
machine and load, every program's figures (each round's marked with its number), and the
ratios against the targets; the ratios are printed as a table. Exit code 0 whatever the figures: a missed target is reported, not an error.
"""

import argparse
import json
import os
import platform
import sys

MB = 2 ** 20
SITES = (1, 2, 3)
HITS = (1000, 10000)


def load(paths):
    """The runs by program. PROGRAM@N.json is round N of PROGRAM: the rounds' entries are
    merged under PROGRAM, each marked with its round."""
    runs = {}
    for path in paths:
        with open(path, encoding="utf-8") as f:
            run = json.load(f)
        program, _, round_ = os.path.splitext(os.path.basename(path))[0].partition("@")
        for entry in run.get("benchmarks", []):
            if round_:
                entry["round"] = int(round_)
        if program in runs:
            runs[program]["benchmarks"].extend(run.get("benchmarks", []))
        else:
            runs[program] = run
    return runs


def find(runs, program, name, aggregate=None):
    """The benchmark entry `name` of `program` (an aggregate such as "median" when given);
    of several rounds, the quickest."""
    found = []
    for entry in runs.get(program, {}).get("benchmarks", []):
        if entry.get("error_occurred"):
            continue
        base = entry.get("run_name", entry["name"])
        if not base.startswith(name):
            continue
        rest = base[len(name):]
        if rest and not rest.startswith("/"):
            continue
        if aggregate is None and entry.get("run_type") != "aggregate":
            found.append(entry)
        if aggregate is not None and entry.get("aggregate_name") == aggregate:
            found.append(entry)
    return min(found, key=millis) if found else None


def millis(entry):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry.get("time_unit", "ns")]
    return entry["real_time"] * scale


def ratios(runs):
    rows = []

    def add(what, value, target, ok, unit=""):
        rows.append({"what": what, "value": value, "unit": unit, "target": target,
                     "met": None if value is None else bool(ok(value))})

    for site in SITES:
        rates = {}
        for hits in HITS:
            key = "site:%d/hits:%d" % (site, hits)
            ours = find(runs, "pipeline_bench", "BM_Pipeline/" + key)
            python = find(runs, "pipeline_python", "BM_PipelinePython/" + key)
            std = find(runs, "pipeline_bench", "BM_PipelineStdRegex/" + key)
            ours_rate = ours["bytes_per_second"] / MB if ours else None
            rates[hits] = ours_rate
            add("pipeline site %d, %d hits" % (site, hits), ours_rate, ">= 300 MB/s",
                lambda v: v >= 300, "MB/s")
            if ours and python:
                add("  / Python, site %d, %d hits" % (site, hits),
                    ours["bytes_per_second"] / python["bytes_per_second"], ">= 6x",
                    lambda v: v >= 6, "x")
            if ours and std:
                add("  / std::regex, site %d, %d hits" % (site, hits),
                    ours["bytes_per_second"] / std["bytes_per_second"], ">= 20x",
                    lambda v: v >= 20, "x")
        if rates.get(1000) and rates.get(10000):
            # Per byte, the larger page must cost no more: its rate at least the smaller's
            # (with 10% for noise between two runs).
            add("  large/small page rate, site %d" % site, rates[10000] / rates[1000],
                ">= 0.9 (linear)", lambda v: v >= 0.9, "x")

    rows_entry = find(runs, "window_rows_bench", "BM_RowsIntoWindow", "median")
    add("1,000 rows into the window (median)", millis(rows_entry) if rows_entry else None,
        "<= 150 ms", lambda v: v <= 150, "ms")
    cells_entry = find(runs, "window_rows_bench", "BM_RowsIntoWindowCellByCell", "median")
    if cells_entry:
        add("  the same, one hand-over per cell", millis(cells_entry), "(comparison)",
            lambda v: True, "ms")

    shown = find(runs, "window_startup_bench", "BM_StartupWindowShown", "median")
    add("window shown after start (median)", millis(shown) if shown else None, "<= 300 ms",
        lambda v: v <= 300, "ms")
    add("idle window, peak resident", shown.get("idle_peak_rss_mb") if shown else None,
        "< 60 MB", lambda v: v < 60, "MB")

    fetch = find(runs, "fetch_bench", "BM_HttpExchange", "median")
    curl = find(runs, "fetch_bench", "BM_CurlTool", "median")
    curl_start = find(runs, "fetch_bench", "BM_CurlToolTinyPage", "median")
    if fetch and curl:
        add("1 MiB loopback fetch / curl tool", millis(fetch) / millis(curl), "<= 1.2x",
            lambda v: v <= 1.2, "x")
        if curl_start and millis(curl) > millis(curl_start):
            add("  / curl tool without its start-up", millis(fetch) / (millis(curl) -
                                                                      millis(curl_start)),
                "(stricter)", lambda v: v <= 1.2, "x")
    return rows


def machine(runs):
    context = next((r["context"] for r in runs.values() if "num_cpus" in r.get("context", {})),
                   {})
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            model = next((line.split(":", 1)[1].strip() for line in f
                          if line.startswith("model name")), "")
    except OSError:
        model = ""
    return {"host": platform.node(), "cpu": model, "cpus": context.get("num_cpus"),
            "mhz_per_cpu": context.get("mhz_per_cpu"), "load_avg": context.get("load_avg"),
            "os_load_avg_now": list(os.getloadavg()), "kernel": platform.release(),
            "date": context.get("date")}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("raw", nargs="+")
    args = parser.parse_args()
    runs = load(args.raw)
    table = ratios(runs)
    result = {"machine": machine(runs), "targets": table, "programs": runs}
    with open(args.out, "w", encoding="utf-8") as f:
        json.dump(result, f, indent=2)

    m = result["machine"]
    print("machine: %s, %s CPUs, load average %s" % (m["cpu"] or "?", m["cpus"],
                                                     " ".join("%.2f" % x
                                                              for x in m["os_load_avg_now"])))
    print("%-44s %12s   %-16s %s" % ("figure", "value", "target", ""))
    for row in table:
        value = "-" if row["value"] is None else "%.2f %s" % (row["value"], row["unit"])
        met = {True: "met", False: "MISSED", None: "not measured"}[row["met"]]
        if row["target"].startswith("("):
            met = ""
        print("%-44s %12s   %-16s %s" % (row["what"], value, row["target"], met))
    print("written: %s" % args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
