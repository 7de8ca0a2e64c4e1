#!/usr/bin/env python3
"""Times foldgraf against its floor walker, GNU tree and find on synthetic folder trees.

Each tree is built from a seed, so every run and every machine sees the same names in the same
places. The commands of one comparison run in turn (A B A B ...) on a warm cache, each writing to a
file on disk; the table gives the median wall time of each command, the median of the per-pair
ratios, the median of the per-pair ratios of CPU time (user and system, which other work on a busy
machine disturbs less than wall time), and the peak memory (maximum resident set) that GNU time
reports.

The floor walker (floor_walker.c) prints the same lines as foldgraf with the least work a program
can do under the same rule of one write per line; foldgraf's ratio to it moves little from machine to
machine, where ratios to the buffered peers move with the cost of a system call.
"""
import argparse
import os
import random
import resource
import shutil
import statistics
import subprocess
import sys
import time

FIXED_TIME = 1_700_000_000  # every file gets this modification time

# name: (folders, files, maximum depth); the wide and deep shapes are built by their own functions.
SHAPES = {
    "default": (20_000, 200_000, 8),
    "large": (100_000, 1_000_000, 8),
}
QUICK_SCALE = 100  # quick mode builds trees this many times smaller

SYLLABLES = "ka ki ku ke ko sa shi su se so ta chi tsu te to na ni nu ne no ma mi mu me mo".split()
JAPANESE = ["日本", "資料", "写真", "設定", "ソース", "テスト", "データ"]
EXTENSIONS = [".c", ".h", ".txt", ".md", ".png", ".json", ".o", ""]


def make_name(rng, used, extension=""):
    while True:
        roll = rng.random()
        if roll < 0.01:
            name = rng.choice(JAPANESE) + str(rng.randrange(1000))
        elif roll < 0.03:
            name = "".join(rng.choice(SYLLABLES) for _ in range(2)) + " " + rng.choice(SYLLABLES)
        else:
            name = "".join(rng.choice(SYLLABLES) for _ in range(rng.randrange(1, 5)))
            name += str(rng.randrange(100))
        name += extension
        if name not in used:
            used.add(name)
            return name


def touch(path):
    with open(path, "wb"):
        pass
    os.utime(path, (FIXED_TIME, FIXED_TIME))


def build_irregular(root, folders, files, depth, seed):
    """Folders hang below random earlier folders, so fan-out is uneven; files land unevenly too."""
    rng = random.Random(seed)
    paths = [root]
    open_folders = [0]  # indexes of folders that may still get subfolders
    used = {root: set()}
    os.makedirs(root)
    depths = [0]
    while len(paths) < folders + 1:
        # Half the folders go below one of the last few open folders, which makes bushy spots;
        # the rest anywhere, which makes long thin branches.
        if rng.random() < 0.5:
            index = open_folders[-1 - rng.randrange(min(len(open_folders), 20))]
        else:
            index = open_folders[rng.randrange(len(open_folders))]
        parent = paths[index]
        path = os.path.join(parent, make_name(rng, used[parent]))
        os.mkdir(path)
        paths.append(path)
        depths.append(depths[index] + 1)
        used[path] = set()
        if depths[-1] < depth:
            open_folders.append(len(paths) - 1)
    for _ in range(files):
        parent = paths[min(int(rng.paretovariate(1.2)) - 1 + rng.randrange(len(paths)), len(paths) - 1)]
        touch(os.path.join(parent, make_name(rng, used[parent], rng.choice(EXTENSIONS))))


def build_wide(root, folders, files, seed):
    rng = random.Random(seed)
    used = set()
    os.makedirs(root)
    for _ in range(folders):
        os.mkdir(os.path.join(root, make_name(rng, used)))
    for _ in range(files):
        touch(os.path.join(root, make_name(rng, used, rng.choice(EXTENSIONS))))


def build_deep(root, levels, files, seed):
    rng = random.Random(seed)
    path = root
    os.makedirs(root)
    for level in range(levels):
        used = set()
        for _ in range(files // levels):
            touch(os.path.join(path, make_name(rng, used, rng.choice(EXTENSIONS))))
        path = os.path.join(path, make_name(rng, used))
        os.mkdir(path)


def ensure_tree(base, shape, quick, seed):
    scale = QUICK_SCALE if quick else 1
    label = f"{shape}-{'quick' if quick else 'full'}-{seed}"
    root = os.path.join(base, label)
    stamp = root + ".built"
    if os.path.exists(stamp):
        return root
    if os.path.exists(root):
        shutil.rmtree(root)
    started = time.monotonic()
    if shape == "wide":
        build_wide(root, 10_000 // scale, 100_000 // scale, seed)
    elif shape == "deep":
        build_deep(root, 100, 1_000 // (10 if quick else 1), seed)
    else:
        folders, files, depth = SHAPES[shape]
        build_irregular(root, folders // scale, files // scale, depth, seed)
    open(stamp, "w").close()
    print(f"built {label} in {time.monotonic() - started:.1f} s", file=sys.stderr)
    return root


def comparisons(foldgraf, floor, root):
    """(mode, [(label, command, environment)]) with foldgraf first."""
    windows = "c:" + root
    utc = {"TZ": "UTC"}
    return [
        ("(none)", [("foldgraf", [foldgraf, windows], {}),
                    ("floor", [floor, root], {}),
                    ("tree -U -d", ["tree", "-U", "-d", "-n", "--noreport", root], {}),
                    ("find -type d", ["find", root, "-type", "d"], {})]),
        ("/F", [("foldgraf", [foldgraf, "/F", windows], {}),
                ("floor", [floor, "/F", root], {}),
                ("tree -U", ["tree", "-U", "-n", "--noreport", root], {}),
                ("find", ["find", root], {})]),
        ("/F /T", [("foldgraf", [foldgraf, "/F", "/T", windows], {}),
                   ("floor", [floor, "/F", "/T", root], {}),
                   ("tree -U -D", ["tree", "-U", "-n", "-D", "--timefmt", "%Y/%m/%d %H:%M:%S",
                                   "--noreport", root], utc)]),
    ]


def run_once(command, environment, output_path, memory_path):
    env = dict(os.environ)
    env.pop("TZ", None)
    env.update(environment)
    with open(output_path, "wb") as output:
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        started = time.perf_counter()
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", memory_path] + command,
                       stdout=output, env=env, check=True)
        elapsed = time.perf_counter() - started
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    with open(memory_path) as memory:
        return elapsed, cpu, int(memory.read().split()[-1])


def measure(base, commands, runs):
    """Runs foldgraf and one peer in turn; returns per-command times and memory, and the ratios of
    wall and of CPU time."""
    output_path = os.path.join(base, "output.txt")
    memory_path = os.path.join(base, "memory.txt")
    ours, peer = commands
    results = {ours[0]: ([], []), peer[0]: ([], [])}
    ratios = []
    cpu_ratios = []
    for run in range(runs + 1):  # the first round only warms the cache
        times = []
        cpu_times = []
        for label, command, environment in (ours, peer):
            elapsed, cpu, memory = run_once(command, environment, output_path, memory_path)
            times.append(elapsed)
            cpu_times.append(cpu)
            if run > 0:
                results[label][0].append(elapsed)
                results[label][1].append(memory)
        if run > 0:
            ratios.append(times[0] / times[1])
            cpu_ratios.append(cpu_times[0] / cpu_times[1])
    return results, ratios, cpu_ratios


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("base", help="folder to build the trees in (kept between runs)")
    parser.add_argument("--foldgraf", default="build-bench/foldgraf")
    parser.add_argument("--floor", default="build-bench/floor_walker")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--quick", action="store_true", help="small trees and one run (for CI)")
    parser.add_argument("--shapes", default="default,wide,deep",
                        help="comma-separated, of default, wide, deep, large")
    parser.add_argument("--peers", default="floor,tree,find",
                        help="comma-separated, of floor, tree, find")
    args = parser.parse_args()
    runs = 1 if args.quick else args.runs
    foldgraf = os.path.abspath(args.foldgraf)
    floor = os.path.abspath(args.floor)
    peer_names = args.peers.split(",")
    base = os.path.abspath(args.base)
    os.makedirs(base, exist_ok=True)

    print(f"runs per command: {runs}; times in ms (median); ratio = foldgraf / peer, median of pairs, "
          "of wall and of CPU time; memory = peak RSS in KiB")
    print(f"{'shape':8} {'mode':7} {'peer':14} {'foldgraf':>9} {'peer ms':>9} {'ratio':>6} {'cpu':>6} "
          f"{'fg KiB':>7} {'peer KiB':>8}")
    for shape in args.shapes.split(","):
        root = ensure_tree(base, shape, args.quick, args.seed)
        for mode, (ours, *peers) in comparisons(foldgraf, floor, root):
            for peer in peers:
                if peer[0].split()[0] not in peer_names:
                    continue
                results, ratios, cpu_ratios = measure(base, (ours, peer), runs)
                our_times, our_memory = results[ours[0]]
                peer_times, peer_memory = results[peer[0]]
                print(f"{shape:8} {mode:7} {peer[0]:14} {statistics.median(our_times) * 1000:9.1f} "
                      f"{statistics.median(peer_times) * 1000:9.1f} {statistics.median(ratios):6.2f} {statistics.median(cpu_ratios):6.2f} "
                      f"{max(our_memory):7} {max(peer_memory):8}", flush=True)


if __name__ == "__main__":
    main()
