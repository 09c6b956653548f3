#!/usr/bin/env python3
"""Benchmarks Quorvel against du, fpart and cp on the same trees, in one run.

bench/run.py [--scale F] [--runs N] [--dir DIR]

Prints a Markdown table of medians (min, max), peak memory and ratios against the reference
tools measured in the same run. --scale shrinks every tree (0.1 for a quick look).
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)


def sh(command, **kwargs):
    return subprocess.run(command, shell=True, check=True, **kwargs)


def ensure_tools():
    missing = [pkg for tool, pkg in (("fpart", "fpart"), ("hyperfine", "hyperfine"),
                                     ("/usr/bin/time", "time")) if not shutil.which(tool)]
    if missing:
        sh("apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "
           + " ".join(missing))


def build():
    out = os.path.join(REPO, "build-bench")
    sh(f"cmake -S {REPO} -B {out} -DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF >/dev/null"
       f" && cmake --build {out} -j2 >/dev/null")
    return os.path.join(out, "quorvel")


def make_tree(root, files, median, real=False, seed=1):
    if os.path.isdir(root):
        return
    flag = " --real" if real else ""
    sh(f"python3 {HERE}/make_tree.py {root}.part {files} {median}{flag} --seed {seed}")
    os.rename(root + ".part", root)


def time_commands(commands, runs, prepare=None):
    """Median, min and max wall seconds of each command, warm cache."""
    with tempfile.NamedTemporaryFile(suffix=".json") as report:
        args = ["hyperfine", "--style", "none", "--warmup", "1", "--runs", str(runs),
                "--export-json", report.name]
        if prepare:
            args += ["--prepare", prepare]
        subprocess.run(args + list(commands), check=True, stdout=subprocess.DEVNULL)
        results = json.load(open(report.name))["results"]
    return [(r["median"], r["min"], r["max"]) for r in results]


def peak_kib(command, prepare=None):
    if prepare:
        sh(prepare)
    out = subprocess.run(f"/usr/bin/time -f %M sh -c '{command}' >/dev/null", shell=True,
                         check=True, stderr=subprocess.PIPE, text=True).stderr
    return int(out.strip().splitlines()[-1])


def row(name, timing, ref, mem=None, ref_mem=None):
    median, low, high = timing
    text = f"| {name} | {median:.3f} s ({low:.3f}–{high:.3f}) | {median / ref[0]:.2f} |"
    if mem is not None:
        text += f" {mem / 1024:.1f} MiB | {mem / ref_mem:.2f} |"
    print(text, flush=True)


def scan_benchmarks(quorvel, base, scale, runs):
    for files in (200_000, 1_000_000):
        n = max(1000, int(files * scale))
        tree = os.path.join(base, f"scan-{n}-50000")
        make_tree(tree, n, 50_000)
        commands = [f"{quorvel} -b -u=cd {tree}", f"du -sb {tree}", f"fpart -s 700M {tree}"]
        timings = time_commands(commands, runs)
        mems = [peak_kib(c) for c in commands]
        print(f"\n**Scan-only plan, {n:,} files** (ratios against fpart; du time {timings[1][0]:.3f} s,"
              f" quorvel / du = {timings[0][0] / timings[1][0]:.2f})\n")
        print("| command | wall median (min–max) | time / fpart | peak RSS | RSS / fpart |")
        print("|---|---|---|---|---|")
        for name, timing, mem in zip(("quorvel -b -u=cd", "du -sb", "fpart -s 700M"), timings, mems):
            row(name, timing, timings[2], mem, mems[2])


def copy_benchmarks(quorvel, base, scale, runs):
    cases = (("about 2 GB in 20,000 files", 20_000, 32_500), ("100,000 small files", 100_000, 3_000))
    for label, files, median in cases:
        n = max(500, int(files * scale))
        src = os.path.join(base, f"copy-{n}-{median}")
        make_tree(src, n, median, real=True, seed=2)
        dest = os.path.join(base, "dest")
        prepare = f"rm -rf {dest}; sync"
        # Quorvel flushes each unit to the device itself.
        commands = [f"{quorvel} -u=dvd {src} {dest}", f"cp -a {src} {dest} && sync"]
        timings = time_commands(commands, runs, prepare)
        sh(prepare)
        total = int(subprocess.check_output(f"du -sb {src}", shell=True).split()[0])
        print(f"\n**Copy, {label}: {n:,} files, {total / 1e9:.2f} GB** (ratio against cp -a)\n")
        print("| command | wall median (min–max) | time / cp |")
        print("|---|---|---|")
        row("quorvel -u=dvd SRC DEST", timings[0], timings[1])
        row("cp -a SRC DEST && sync", timings[1], timings[1])


def unit_limit_benchmark(quorvel, base, scale):
    n = max(5000, int(1_000_000 * scale))
    tree = os.path.join(base, f"units-{n}")
    make_tree(tree, n, 1_000, seed=3)
    total = int(subprocess.check_output(f"du -sb --apparent-size {tree}", shell=True).split()[0])
    unit = max(4096, total // 480)
    dest = os.path.join(base, "dest")
    prepare = f"rm -rf {dest}"
    commands = [f"{quorvel} -b -i -u={unit} {tree} {dest}", f"{quorvel} -b -i -u={total + 1} {tree} {dest}"]
    timings = time_commands(commands, 1 if scale >= 1 else 3, prepare)
    sh(prepare)
    print(f"\n**Bookkeeping at the unit limit: {n:,} sparse files planned and written** "
          f"(ratio against the same files written into one unit)\n")
    print("| command | wall median (min–max) | time / one unit |")
    print("|---|---|---|")
    row(f"into about 480 units (-u={unit})", timings[0], timings[1])
    row("into one unit", timings[1], timings[1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--dir", default="/var/tmp/quorvel-bench")
    parser.add_argument("--only", choices=("scan", "copy", "units"))
    args = parser.parse_args()
    ensure_tools()
    quorvel = build()
    os.makedirs(args.dir, exist_ok=True)
    print(f"Machine: {os.cpu_count()} cores, {os.uname().release}; trees in {args.dir}", flush=True)
    if args.only in (None, "scan"):
        scan_benchmarks(quorvel, args.dir, args.scale, args.runs)
    if args.only in (None, "copy"):
        copy_benchmarks(quorvel, args.dir, args.scale, args.runs)
    if args.only in (None, "units"):
        unit_limit_benchmark(quorvel, args.dir, args.scale)


if __name__ == "__main__":
    sys.exit(main())
