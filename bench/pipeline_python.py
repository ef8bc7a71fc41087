#!/usr/bin/env python3
"""The page pipeline of pipeline_bench, done with Python's standard library, for comparison.

    python3 bench/pipeline_python.py PAGES_DIR [--min-time SECONDS] [--out FILE]

PAGES_DIR is what `pipeline_bench --pages_dir=PAGES_DIR` wrote: manifest.json, the pages
(UTF-8) and each site's pattern (GBK). For each page, as the C++ pipeline does: decode the
UTF-8 body, encode it to GBK, run the site's pattern (GBK bytes, re.I | re.M: "." excludes
only a line feed, as in the program) with re.finditer, and read the group of every column of
every match as GBK bytes. Timed by process CPU time, like Google Benchmark's default; each
page runs for at least --min-time seconds and the mean per run is reported.

Prints a table and writes the figures as Google Benchmark JSON (--out), named
BM_PipelinePython/site:S/hits:H, so that scripts/bench merges them with the C++ figures.
"""

import argparse
import json
import os
import re
import sys
import time


def run_once(body, pattern, groups):
    page = body.decode("utf-8", "replace").encode("gbk", "replace")
    count = 0
    size = 0
    for match in pattern.finditer(page):
        count += 1
        for group in groups:
            size += len(match.group(group) or b"")
    return count, size


def measure(body, pattern, groups, min_time):
    runs = 0
    start = time.process_time()
    while True:
        count, _ = run_once(body, pattern, groups)
        runs += 1
        elapsed = time.process_time() - start
        if elapsed >= min_time:
            return count, runs, elapsed / runs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pages_dir")
    parser.add_argument("--min-time", type=float, default=1.0)
    parser.add_argument("--out")
    args = parser.parse_args()

    with open(os.path.join(args.pages_dir, "manifest.json"), encoding="utf-8") as f:
        manifest = json.load(f)
    benchmarks = []
    failed = False
    print("%-36s %12s %10s %12s %8s" % ("Benchmark", "CPU ms", "runs", "MB/s", "matches"))
    for entry in manifest:
        with open(os.path.join(args.pages_dir, entry["page"]), "rb") as f:
            body = f.read()
        with open(os.path.join(args.pages_dir, entry["pattern"]), "rb") as f:
            pattern = re.compile(f.read(), re.I | re.M)
        count, runs, seconds = measure(body, pattern, entry["groups"], args.min_time)
        name = "BM_PipelinePython/site:%d/hits:%d" % (entry["site"], entry["hits"])
        rate = len(body) / seconds
        print("%-36s %12.2f %10d %12.1f %8d" % (name, seconds * 1e3, runs, rate / 2**20, count))
        if count != entry["hits"]:
            print("  wrong number of matches: %d, expected %d" % (count, entry["hits"]),
                  file=sys.stderr)
            failed = True
        benchmarks.append({
            "name": name,
            "run_name": name,
            "run_type": "iteration",
            "iterations": runs,
            "real_time": seconds * 1e3,
            "cpu_time": seconds * 1e3,
            "time_unit": "ms",
            "bytes_per_second": rate,
            "matches": count,
            "body_bytes": len(body),
        })
    if args.out:
        with open(args.out, "w", encoding="utf-8") as f:
            json.dump({"context": {"executable": "python3 " + " ".join(sys.argv),
                                   "python": sys.version.split()[0]},
                       "benchmarks": benchmarks}, f, indent=2)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
