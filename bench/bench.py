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

With --wine, foldgraf.exe runs under Wine against the Windows floor walker (floor_walker_win32.c),
which prints the very bytes foldgraf.exe prints, header included. Both run in one Wine session of
the benchmark's own: a fresh prefix under the base folder, a Japanese locale (so that Windows
programs get code page 932) and one wineserver that stays up between runs, so no run pays for
starting it. The CPU time counts the wineserver's time during the run too, since every folder a
program opens is opened there. After the timings, each program runs once more per mode under strace
to count the Unix-side reads of the tree's folders: getdents64 calls and the folders opened, by the
program and by the wineserver together; those runs' outputs are compared byte for byte.

With --latency MS, each tree (the "wine" shape unless --shapes says otherwise) is served through
latency_fs (latency_fs.c), a FUSE file system that answers every look-up and folder read after MS
milliseconds, as a network share or a remote disk does, serving --concurrency requests at once. It
checks first that the delay reaches every listing and look-up, then times foldgraf against the floor
walker (with --wine: foldgraf.exe against the Windows floor walker) over the mount in every mode,
and compares the trees the two printed byte for byte. The file system is unmounted whatever happens:
on an error, on Ctrl-C, on SIGTERM.
"""
import argparse
import codecs
import filecmp
import os
import random
import re
import resource
import shutil
import signal
import statistics
import subprocess
import sys
import time

FIXED_TIME = 1_700_000_000  # every file gets this modification time

# name: (folders, files, maximum depth); the wide and deep shapes are built by their own functions.
SHAPES = {
    "default": (20_000, 200_000, 8),
    "large": (100_000, 1_000_000, 8),
    "wine": (2_000, 20_000, 8),  # the default shape a tenth the size: a process under Wine is slower
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


def run_once(command, environment, output_path, memory_path, session=None):
    env = dict(os.environ)
    env.pop("TZ", None)
    env.update(environment)
    # Under Wine: the session's environment, the server's CPU time, and no stderr (Wine reports
    # there that it cannot read the volume's serial number).
    if session is not None:
        env.update(session.environment)
    with open(output_path, "wb") as output:
        server_before = session.server_cpu() if session is not None else 0.0
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        started = time.perf_counter()
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", memory_path] + command,
                       stdout=output, env=env, check=True,
                       stderr=subprocess.DEVNULL if session is not None else None)
        elapsed = time.perf_counter() - started
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        server_after = session.server_cpu() if session is not None else 0.0
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    cpu += server_after - server_before
    with open(memory_path) as memory:
        return elapsed, cpu, int(memory.read().split()[-1])


def output_paths(base):
    """Where measure() leaves the last output of foldgraf and of its peer."""
    return [os.path.join(base, "output-ours.txt"), os.path.join(base, "output-peer.txt")]


def measure(base, commands, runs, session=None):
    """Runs foldgraf and one peer in turn; returns per-command times and memory, and the ratios of
    wall and of CPU time."""
    memory_path = os.path.join(base, "memory.txt")
    ours, peer = commands
    results = {ours[0]: ([], []), peer[0]: ([], [])}
    ratios = []
    cpu_ratios = []
    for run in range(runs + 1):  # the first round only warms the cache
        times = []
        cpu_times = []
        for (label, command, environment), output_path in zip((ours, peer), output_paths(base)):
            elapsed, cpu, memory = run_once(command, environment, output_path, memory_path,
                                            session)
            times.append(elapsed)
            cpu_times.append(cpu)
            if run > 0:
                results[label][0].append(elapsed)
                results[label][1].append(memory)
        if run > 0:
            ratios.append(times[0] / times[1])
            cpu_ratios.append(cpu_times[0] / cpu_times[1])
    return results, ratios, cpu_ratios


TABLE_HEAD = (f"{'shape':8} {'mode':7} {'peer':14} {'foldgraf':>9} {'peer ms':>9} {'ratio':>6} "
              f"{'cpu':>6} {'fg KiB':>7} {'peer KiB':>8}")


def print_row(shape, mode, ours, peer, measured):
    """One line of the table under TABLE_HEAD, from what measure() gave for ours and peer."""
    results, ratios, cpu_ratios = measured
    our_times, our_memory = results[ours[0]]
    peer_times, peer_memory = results[peer[0]]
    print(f"{shape:8} {mode:7} {peer[0]:14} {statistics.median(our_times) * 1000:9.1f} "
          f"{statistics.median(peer_times) * 1000:9.1f} {statistics.median(ratios):6.2f} "
          f"{statistics.median(cpu_ratios):6.2f} {max(our_memory):7} {max(peer_memory):8}",
          flush=True)


WINE_MODES = [("(none)", []), ("/F", ["/F"]), ("/F /T", ["/F", "/T"])]
WINE_MODE_NAMES = {"(none)": "none", "/F": "F", "/F /T": "FT"}  # for file names


def windows_path(root):
    """The folder as a Windows program under Wine names it: Wine maps / to drive Z:."""
    return "Z:" + root.replace("/", "\\")


def wine_comparisons(wine, foldgraf, floor, root):
    """(mode, [(label, command, environment)]) with foldgraf.exe first, as comparisons() gives."""
    windows = windows_path(root)
    return [(mode, [("foldgraf.exe", [wine, foldgraf] + switches + [windows], {}),
                    ("floor.exe", [wine, floor] + switches + [windows], {})])
            for mode, switches in WINE_MODES]


class WineSession:
    """A fresh prefix of the benchmark's own and one wineserver that outlives every run, as the
    Windows tests set up theirs; a Japanese locale, in which Wine gives programs code page 932."""

    def __init__(self, base, wine, server):
        self.wine = wine
        self.server = server
        self.prefix = os.path.join(base, "wine-prefix")
        self.environment = {"WINEPREFIX": self.prefix, "WINESERVER": server, "WINEDEBUG": "-all",
                            "LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"}
        self.server_stat = None

    def _run(self, command, timeout):
        env = dict(os.environ)
        env.update(self.environment)
        # Nothing Wine leaves behind may hold our output open, so nothing of ours is handed down.
        try:
            return subprocess.run(command, env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return -1

    def start(self):
        started = time.monotonic()
        self.stop()
        shutil.rmtree(self.prefix, ignore_errors=True)
        os.makedirs(self.prefix)
        if self._run([self.server, "-p300"], 60) != 0:
            sys.exit(f"{self.server} did not start")
        self._run([self.wine, "wineboot", "-i"], 150)
        self.server_stat = self._find_server()
        print(f"Wine session ready in {time.monotonic() - started:.1f} s "
              f"(prefix {self.prefix})", file=sys.stderr)

    def stop(self):
        self._run([self.server, "-k"], 30)
        self._run([self.server, "-w"], 30)
        self.server_stat = None

    def close(self):
        """Ends the session and removes its prefix (some 700 MB; the next run makes a fresh one)."""
        self.stop()
        shutil.rmtree(self.prefix, ignore_errors=True)

    def _find_server(self):
        """/proc/PID/stat of the server that serves our prefix (the one whose environment names it),
        or None."""
        wanted = ("WINEPREFIX=" + self.prefix).encode()
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/comm") as comm:
                    if not comm.read().startswith("wineserver"):  # wineserver64 too
                        continue
                with open(f"/proc/{pid}/environ", "rb") as environ:
                    if wanted in environ.read().split(b"\0"):
                        return f"/proc/{pid}/stat"
            except OSError:
                continue
        print("the wineserver's CPU time cannot be read: the CPU ratios leave it out",
              file=sys.stderr)
        return None

    def server_cpu(self):
        """The server's user and system time so far, in seconds."""
        if self.server_stat is None:
            return 0.0
        try:
            with open(self.server_stat) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            return 0.0
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def tree_reads(trace_path, root):
    """Counts, in an strace -f -y log, the getdents64 calls on the tree's folders and the opens that
    gave a descriptor of one of its folders. A call another thread interrupts is logged in two
    lines: its arguments in the first, its result in the "resumed" one."""
    read_call = re.compile(r"(?:\d+\s+)?getdents(?:64)?\(\d+<(.*?)>, ")
    open_call = re.compile(r"(?:\d+\s+)?(?:openat\(|open\(|<\.\.\. openat resumed>|<\.\.\. open resumed>)")
    opened = re.compile(r"\)\s+= \d+<(.*)>$")

    def inside(quoted):  # strace writes bytes it cannot show as escapes
        path = os.fsdecode(codecs.escape_decode(quoted.encode("latin-1"))[0])
        return (path == root or path.startswith(root + "/")) and os.path.isdir(path)

    reads = opens = 0
    with open(trace_path, encoding="latin-1") as trace:
        for line in trace:
            line = line.rstrip("\n")
            read = read_call.match(line)
            if read:
                reads += inside(read.group(1))
            elif open_call.match(line):
                result = opened.search(line)
                opens += result is not None and inside(result.group(1))
    return reads, opens


def count_wine_reads(base, session, wine, programs, root):
    """One run of each program per mode under strace, each with a wineserver of its own that strace
    follows too (attaching to the running one ends it); yields the mode, the (reads, opens) of
    each program and whether their outputs are the same bytes."""
    windows = windows_path(root)
    env = dict(os.environ)
    env.update(session.environment)
    for mode, switches in WINE_MODES:
        counts = []
        outputs = []
        for label, program in programs:
            session.stop()  # a server left running would serve the run untraced
            trace_path = os.path.join(base, f"wine-{label}.strace")
            output_path = os.path.join(base, f"wine-{label}-{WINE_MODE_NAMES[mode]}.txt")
            with open(output_path, "wb") as output:
                # Only the calls counted stop the processes (--seccomp-bpf): Wine's start-up
                # under strace is three times faster so.
                subprocess.run(["strace", "-f", "--seccomp-bpf", "-y", "-o", trace_path,
                                "-e", "trace=getdents64,getdents,openat,open",
                                "sh", "-c", '"$WINESERVER" -p0 && exec "$0" "$@"',
                                wine, program] + switches + [windows],
                               stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.DEVNULL,
                               env=env, check=True, timeout=600)
            counts.append(tree_reads(trace_path, root))
            outputs.append(output_path)
        yield mode, counts, filecmp.cmp(outputs[0], outputs[1], shallow=False), outputs


def default_wine_program(names, folder="/usr/lib/wine"):
    for name in names:
        if os.path.exists(os.path.join(folder, name)):
            return os.path.join(folder, name)
    return shutil.which(names[0]) or os.path.join(folder, names[0])


class LatencyMount:
    """latency_fs serving one folder at a time on a mount point of the benchmark's own. stop() ends
    the server, which unmounts, and unmounts itself what a server killed outright left behind."""

    def __init__(self, program, mountpoint, delay, concurrency, log_path):
        self.command = [program, "--delay", str(delay), "--concurrency", str(concurrency)]
        self.mountpoint = mountpoint
        self.log_path = log_path
        self.process = None

    def start(self, source):
        """Mounts source; False when it cannot be mounted here (the server says why in the log)."""
        self.stop()
        os.makedirs(self.mountpoint, exist_ok=True)
        with open(self.log_path, "wb") as log:
            # A session of its own: Ctrl-C reaches the benchmark, which then unmounts in order.
            self.process = subprocess.Popen(self.command + [source, self.mountpoint],
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                            start_new_session=True)
        deadline = time.monotonic() + 10
        while not mounted(self.mountpoint):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                return False
            time.sleep(0.02)
        return True

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None
        if mounted(self.mountpoint):
            if subprocess.run(["fusermount3", "-u", "-z", self.mountpoint],
                              stderr=subprocess.DEVNULL).returncode != 0:
                subprocess.run(["umount", "-l", self.mountpoint], check=True)

    def last_words(self):
        """The server's last line: how many requests it delayed."""
        with open(self.log_path, "rb") as log:
            lines = log.read().decode(errors="replace").splitlines()
        return lines[-1] if lines else ""


def mounted(path):
    """Whether something is mounted on path; unlike os.path.ismount, true too of a FUSE mount whose
    server is gone."""
    wanted = os.fsencode(path)
    with open("/proc/self/mounts", "rb") as mounts:
        for line in mounts:
            point = re.sub(rb"\\([0-7]{3})", lambda escape: bytes([int(escape.group(1), 8)]),
                           line.split()[1])
            if point == wanted:
                return True
    return False


def check_delay(root, delay):
    """Lists the mount's root twice and looks up its first entry twice: a listing must wait at least
    twice (OPENDIR, READDIR), a look-up once, every time, or the kernel answered from a cache and
    the benchmark would time the cache. Returns the four times in ms."""
    times = []
    for _ in range(2):
        started = time.perf_counter()
        names = os.listdir(root)
        listed = time.perf_counter()
        os.lstat(os.path.join(root, names[0]))
        times += [(listed - started) * 1000, (time.perf_counter() - listed) * 1000]
        if times[-2] < 2 * delay or times[-1] < delay:
            sys.exit(f"the kernel answered from its caches: listing {times[-2]:.2f} ms, "
                     f"look-up {times[-1]:.2f} ms at {delay} ms per request")
    return times


def same_tree(paths, header_lines):
    """Whether two outputs are the same bytes once each has lost its header lines."""
    bodies = []
    for path, skip in zip(paths, header_lines):
        with open(path, "rb") as output:
            for _ in range(skip):
                output.readline()
            bodies.append(output.read())
    return bodies[0] == bodies[1]


def settings(args):
    """The runs per command, the two programs and the base folder (made if missing), the paths
    absolute."""
    base = os.path.abspath(args.base)
    os.makedirs(base, exist_ok=True)
    runs = 1 if args.quick else args.runs
    return runs, os.path.abspath(args.foldgraf), os.path.abspath(args.floor), base


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("base", help="folder to build the trees in (kept between runs)")
    parser.add_argument("--foldgraf", default="build-bench/foldgraf")
    parser.add_argument("--floor", default="build-bench/floor_walker")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--quick", action="store_true", help="small trees and one run (for CI)")
    parser.add_argument("--shapes", default=None,
                        help="comma-separated, of default, wide, deep, large, wine "
                             "(default: default,wide,deep; with --wine: wine)")
    parser.add_argument("--peers", default="floor,tree,find",
                        help="comma-separated, of floor, tree, find")
    parser.add_argument("--wine", action="store_true",
                        help="time foldgraf.exe (--foldgraf) against the Windows floor walker "
                             "(--floor) under Wine")
    parser.add_argument("--latency", type=float, default=None, metavar="MS",
                        help="time foldgraf and the floor walker (with --wine: the Windows ones) "
                             "over latency_fs, which answers each look-up and folder read after MS "
                             "ms")
    parser.add_argument("--concurrency", type=int, default=64,
                        help="with --latency: how many requests latency_fs serves at once")
    parser.add_argument("--latency-fs", default="build-bench/latency_fs")
    parser.add_argument("--mount", default=None,
                        help="with --latency: the mount point (default: BASE/latency-mount)")
    parser.add_argument("--skip-without-fuse", action="store_true",
                        help="with --latency: where FUSE cannot mount, say so in one line and "
                             "exit 0 (for CI)")
    parser.add_argument("--wine-loader", default=default_wine_program(["wine64", "wine"]))
    parser.add_argument("--wineserver", default=default_wine_program(["wineserver64", "wineserver"]))
    args = parser.parse_args()
    if args.shapes is None:
        args.shapes = "wine" if args.wine or args.latency is not None else "default,wide,deep"
    if args.latency is not None:
        return latency_main(args)
    if args.wine:
        return wine_main(args)
    runs, foldgraf, floor, base = settings(args)
    peer_names = args.peers.split(",")

    print(f"runs per command: {runs}; times in ms (median); ratio = foldgraf / peer, median of pairs, "
          "of wall and of CPU time; memory = peak RSS in KiB")
    print(TABLE_HEAD)
    for shape in args.shapes.split(","):
        root = ensure_tree(base, shape, args.quick, args.seed)
        for mode, (ours, *peers) in comparisons(foldgraf, floor, root):
            for peer in peers:
                if peer[0].split()[0] not in peer_names:
                    continue
                print_row(shape, mode, ours, peer, measure(base, (ours, peer), runs))


def verdict(differing, different, same):
    """Says which comparisons differed (different, then one line each) or that none did (same);
    returns the exit status."""
    if differing:
        print(different, *differing, sep="\n  ")
        return 1
    print(same)
    return 0


def wine_main(args):
    runs, foldgraf, floor, base = settings(args)
    roots = [(shape, ensure_tree(base, shape, args.quick, args.seed)) for shape in args.shapes.split(",")]
    session = WineSession(base, args.wine_loader, args.wineserver)
    session.start()
    try:
        print(f"under Wine; runs per command: {runs}; times in ms (median); ratio = foldgraf.exe / "
              "floor.exe, median of pairs, of wall and of CPU time (the wineserver's included); "
              "memory = peak RSS in KiB")
        print(TABLE_HEAD)
        for shape, root in roots:
            for mode, (ours, peer) in wine_comparisons(args.wine_loader, foldgraf, floor, root):
                print_row(shape, mode, ours, peer, measure(base, (ours, peer), runs, session))

        # The traced runs start servers of their own.
        session.stop()
        print()
        print("Unix-side reads of the tree's folders, one run each under strace -f (the program and its "
              "wineserver): getdents64 calls and folders opened; ratio = foldgraf.exe / floor.exe")
        print(f"{'shape':8} {'mode':7} {'folders':>7} {'fg getdents':>11} {'floor':>6} {'ratio':>6} "
              f"{'fg opens':>8} {'floor':>6} {'ratio':>6}  output")
        differing = []
        programs = [("foldgraf", foldgraf), ("floor", floor)]
        for shape, root in roots:
            folders = sum(1 for _ in os.walk(root))
            for mode, counts, same, outputs in count_wine_reads(base, session, args.wine_loader,
                                                                programs, root):
                (our_reads, our_opens), (floor_reads, floor_opens) = counts
                ratio = lambda ours, theirs: f"{ours / theirs:6.2f}" if theirs else f"{'-':>6}"
                print(f"{shape:8} {mode:7} {folders:7} {our_reads:11} {floor_reads:6} "
                      f"{ratio(our_reads, floor_reads)} {our_opens:8} {floor_opens:6} "
                      f"{ratio(our_opens, floor_opens)}  {'same bytes' if same else 'DIFFERENT'}",
                      flush=True)
                if not same:
                    differing.append(f"{shape} {mode}: cmp {outputs[0]} {outputs[1]}")
    finally:
        session.close()
    return verdict(differing, "foldgraf.exe and the floor walker print different bytes:",
                   "foldgraf.exe and the floor walker printed the same bytes in every mode.")


def latency_main(args):
    runs, foldgraf, floor, base = settings(args)
    mountpoint = os.path.abspath(args.mount or os.path.join(base, "latency-mount"))

    def cannot_mount(why):
        if args.skip_without_fuse:
            print(f"latency benchmark skipped: {why}")
            return 0
        sys.exit(why)

    if not os.path.exists("/dev/fuse"):
        return cannot_mount("no /dev/fuse on this machine")
    roots = [(shape, ensure_tree(base, shape, args.quick, args.seed))
             for shape in args.shapes.split(",")]
    mount = LatencyMount(os.path.abspath(args.latency_fs), mountpoint, args.latency,
                         args.concurrency, os.path.join(base, "latency_fs.log"))
    session = WineSession(base, args.wine_loader, args.wineserver) if args.wine else None
    # SIGTERM too reaches the finally blocks below, as Ctrl-C does.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(128 + number))
    differing = []
    try:
        if session is not None:
            session.start()
        for shape, source in roots:
            if not mount.start(source):
                return cannot_mount(f"latency_fs could not mount {source} on {mountpoint} "
                                    f"({mount.last_words()})")
            try:
                differing += time_over_mount(args, base, shape, mountpoint, runs, session,
                                             (foldgraf, floor))
            finally:
                mount.stop()
            print(mount.last_words())
    finally:
        mount.stop()
        if session is not None:
            session.close()
    return verdict(differing, "the two programs printed different trees:",
                   "both programs printed the same tree in every mode (the POSIX ones below their "
                   "headers).")


def time_over_mount(args, base, shape, mountpoint, runs, session, programs):
    """Checks that the delay shows, times the programs over the mount in every mode and compares
    their trees; returns a line for each mode in which they differ, naming copies of the outputs."""
    listings = check_delay(mountpoint, args.latency)
    print(f"{shape}: over latency_fs, {args.latency:g} ms per look-up or folder read, "
          f"{args.concurrency} at a time; the delay showed in every listing and look-up (root "
          f"listed in {listings[0]:.1f} and {listings[2]:.1f} ms, an entry looked up in "
          f"{listings[1]:.1f} and {listings[3]:.1f} ms)")
    print(f"{'under Wine; ' if session else ''}runs per command: {runs}; times in ms (median); "
          "ratio = foldgraf / floor, median of pairs, of wall and of CPU time; memory = peak RSS "
          "in KiB")
    print(TABLE_HEAD)
    if session is not None:
        pairs = wine_comparisons(args.wine_loader, *programs, mountpoint)
        header_lines = (0, 0)  # the Windows floor walker prints foldgraf.exe's header
    else:
        pairs = [(mode, commands[:2]) for mode, commands in comparisons(*programs, mountpoint)]
        header_lines = (3, 2)  # foldgraf's header and the floor walker's own
    differing = []
    for mode, (ours, peer) in pairs:
        print_row(shape, mode, ours, peer, measure(base, (ours, peer), runs, session))
        if not same_tree(output_paths(base), header_lines):
            kept = [os.path.join(base, f"latency-{shape}-{WINE_MODE_NAMES[mode]}-{who}.txt")
                    for who in ("ours", "peer")]
            for path, copy in zip(output_paths(base), kept):
                shutil.copyfile(path, copy)
            differing.append(f"{shape} {mode}: cmp {kept[0]} {kept[1]}")
    return differing


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:  # after the finally blocks have cleaned up
        sys.exit(130)
