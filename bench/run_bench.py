#!/usr/bin/env python3
"""Runs the benchmarks side by side on this machine and prints one table (Markdown).

    run_bench.py BIN_DIR [--only startup|tool]

BIN_DIR holds nets_bench, geo_bench, netsorter and the data files beside it, and mmdb_bench
where the build has a MaxMind DB to measure; --only prints those rows alone. Nothing is
asserted: the numbers are reported as measured.
"""
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

ADDRESSES = 1_000_000
REPEATS = 3


def google_benchmark(program, *args):
    """The best of REPEATS repetitions of each benchmark: on a shared machine the slower
    runs measure the neighbours."""
    out = subprocess.run([program, "--benchmark_format=json",
                          "--benchmark_repetitions=%d" % REPEATS, *args], check=True,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    results = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        best = results.get(b["run_name"])
        if best is None or b["cpu_time"] < best["cpu_time"]:
            results[b["run_name"]] = b
    return results


def dotted(a):
    return "%d.%d.%d.%d" % (a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255)


def timed(command, stdin_path, stdout_path):
    """Wall seconds (the best of REPEATS runs) and peak resident set (KiB, the largest).

    GNU time measures: a child forked from this (large) Python process would report the
    parent's pages as its own peak."""
    runs = []
    report = stdout_path + ".time"
    for _ in range(REPEATS):
        with open(stdin_path, "rb") as inp, open(stdout_path, "wb") as out:
            subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", report, *command], stdin=inp,
                           stdout=out, stderr=subprocess.DEVNULL, check=True)
        with open(report) as f:
            seconds, kib = f.read().split()[-2:]
        runs.append((float(seconds), int(kib)))
    return min(r[0] for r in runs), max(r[1] for r in runs)


def per_second(rate):
    """A rate in the unit that keeps three figures readable: 626, 3.64 K, 18.5 M."""
    for scale, unit in ((1e6, " M"), (1e3, " K")):
        if rate >= scale:
            return "%.3g%s" % (rate / scale, unit)
    return "%.3g" % rate


def mmdb_rows(bin_dir):
    """Ours against libmaxminddb on the shipped .mmdb, where the build has one."""
    program = os.path.join(bin_dir, "mmdb_bench")
    if not os.path.exists(program):
        return []
    mmdb = google_benchmark(program)
    rows = []
    for ours, theirs, what in (
            ("mmdb/ours", "mmdb/libmaxminddb_string",
             ("given numbers", "MMDB_lookup_string + MMDB_get_value, given texts")),
            ("mmdb/ours_text", "mmdb/libmaxminddb_string",
             ("given texts", "MMDB_lookup_string + MMDB_get_value, given texts")),
            ("mmdb/ours", "mmdb/libmaxminddb_sockaddr",
             ("given numbers", "MMDB_lookup_sockaddr + MMDB_get_value, given numbers"))):
        o, t = mmdb[ours]["items_per_second"], mmdb[theirs]["items_per_second"]
        rows.append(("country lookup from the shipped .mmdb, %s, lookups/s" % what[0],
                     per_second(o), "%s (libmaxminddb, %s)" % (per_second(t), what[1]),
                     "%.1f×" % (o / t)))
    load, open_ = mmdb["mmdb/load"], mmdb["mmdb/libmaxminddb_open"]
    rows.append(("loading the shipped .mmdb into tables, ms (table memory)",
                 "%.1f (%.1f MiB)" % (load["cpu_time"], load["table_bytes"] / 2**20),
                 "%.3f (libmaxminddb's MMDB_open, which maps the file and reads its metadata)"
                 % open_["cpu_time"], "%.0f× its time" % (load["cpu_time"] / open_["cpu_time"])))
    o, t = mmdb["owner/ours"]["items_per_second"], mmdb["owner/libmaxminddb_string"]["items_per_second"]
    rows.append(("owner lookup (AS number and organisation) from the shipped asn.mmdb, given "
                 "numbers, lookups/s", per_second(o),
                 "%s (libmaxminddb, MMDB_lookup_string + MMDB_get_value of both fields, given "
                 "texts)" % per_second(t), "%.1f×" % (o / t)))
    load = mmdb["owner/load"]
    rows.append(("loading the shipped asn.mmdb into tables, ms (table memory)",
                 "%.1f (%.1f MiB)" % (load["cpu_time"], load["table_bytes"] / 2**20), "", ""))
    return rows


def tool_rows(bin_dir):
    """The tool on a batch against grepcidr filtering the same addresses with the same list
    (its 100,000 subnets are the tool's nets.txt, beside the shipped databases), the output
    formats against each other, and one thread against two on ten times the lines."""
    work = tempfile.mkdtemp(prefix="netsorter-bench-")
    try:
        generator = random.Random(20240517)
        big = ADDRESSES * 10
        with open(os.path.join(work, "in-%d" % big), "w") as f:
            for _ in range(big // ADDRESSES):
                f.write("\n".join(dotted(generator.getrandbits(32))
                                  for _ in range(ADDRESSES)) + "\n")
        with open(os.path.join(work, "in-%d" % big)) as f, \
                open(os.path.join(work, "in-%d" % ADDRESSES), "w") as out:
            for _ in range(ADDRESSES):
                out.write(f.readline())
        data = os.path.join(work, "data")
        os.mkdir(data)
        cidrs = []
        for _ in range(100_000):
            prefix = generator.randint(8, 32)
            start = generator.getrandbits(32) & (0xFFFFFFFF << (32 - prefix)) & 0xFFFFFFFF
            cidrs.append("%s/%d" % (dotted(start), prefix))
        with open(os.path.join(work, "cidrs"), "w") as f:
            f.write("\n".join(cidrs) + "\n")
        with open(os.path.join(data, "nets.txt"), "w") as f:
            for k in range(4):
                f.write("# Сеть %d\n" % k + "\n".join(cidrs[k * 25_000:(k + 1) * 25_000]) + "\n")
        for name in os.listdir(bin_dir):
            if name == "countries.txt" or name.endswith(".mmdb"):
                os.symlink(os.path.join(bin_dir, name), os.path.join(data, name))
        # The tables' cache in a folder of the run's own, filled by a first call.
        os.environ["XDG_DATA_HOME"] = os.path.join(work, "home")

        def tool(count, fmt="tsv", jobs=1, out=os.path.join(work, "out")):
            command = [os.path.join(bin_dir, "netsorter"), "--data-dir", data, "--format", fmt,
                       "--no-reverse", "--jobs", str(jobs)]
            return timed(command, os.path.join(work, "in-%d" % count), out)

        with open(os.path.join(work, "in-1"), "w") as f:
            f.write("8.8.8.8\n")
        tool(1)
        grepcidr = shutil.which("grepcidr")
        if grepcidr:
            anchor, _ = timed([grepcidr, "-f", os.path.join(work, "cidrs")],
                              os.path.join(work, "in-%d" % ADDRESSES),
                              os.path.join(work, "grepcidr.out"))
            against = "%.3f (grepcidr, the same lines and 100 K CIDRs)" % anchor
        else:
            anchor, against = 0.28, "0.28 (grepcidr, quoted; not installed here)"
        what = ("`netsorter --format %s --no-reverse --jobs %d`, %s random addresses, 100 K "
                "subnets, country and owner databases, s (peak RSS)")
        tsv, rss = tool(ADDRESSES)
        rows = [(what % ("tsv", 1, "1 M"), "%.3f (%.1f MiB)" % (tsv, rss / 1024), against,
                 "%.2f× its time" % (tsv / anchor))]
        for fmt in ("json", "text"):
            seconds, rss = tool(ADDRESSES, fmt)
            rows.append((what % (fmt, 1, "1 M"), "%.3f (%.1f MiB)" % (seconds, rss / 1024),
                         "%.3f (TSV)" % tsv, "%.2f× its time" % (seconds / tsv)))
        # Into a file, as a log is sorted; then into /dev/null, the tool's own share without
        # the page cache's copy of 1.5 GB, which one thread at a time makes.
        for out, where in ((os.path.join(work, "out"), ""), (os.devnull, ", output discarded")):
            one, rss1 = tool(big, jobs=1, out=out)
            two, rss2 = tool(big, jobs=2, out=out)
            rows.append((what % ("tsv", 2, "10 M") + where, "%.3f (%.1f MiB)" % (two, rss2 / 1024),
                         "%.3f (%.1f MiB; one job)" % (one, rss1 / 1024),
                         "%.2f× faster" % (one / two)))
        return rows
    finally:
        shutil.rmtree(work)


def startup_rows(bin_dir):
    """The wall time of a one-address call, the best of several runs, with the tables' cache in
    a temporary user folder: empty before each run (the tables are made and written), filled
    (they are read), and impossible (a file in the folder's place: made on every start)."""
    command = [os.path.join(bin_dir, "netsorter"), "--data-dir", bin_dir, "--format", "tsv",
               "--no-reverse", "8.8.8.8"]
    work = tempfile.mkdtemp(prefix="netsorter-startup-")

    def best(user_data, before=lambda: None, runs=2 * REPEATS + 1):
        env = dict(os.environ, XDG_DATA_HOME=user_data)
        times = []
        for _ in range(runs):
            before()
            start = time.perf_counter()
            subprocess.run(command, env=env, check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            times.append(time.perf_counter() - start)
        return min(times) * 1e3

    try:
        home = os.path.join(work, "home")
        cold = best(home, lambda: shutil.rmtree(home, ignore_errors=True))
        warm = best(home)
        blocked = os.path.join(work, "file")
        open(blocked, "w").close()
        none = best(blocked)
    finally:
        shutil.rmtree(work)
    what = "start-up: `netsorter --format tsv --no-reverse 8.8.8.8` with the shipped data, ms"
    return [("%s, tables' cache warm" % what, "%.0f" % warm,
             "%.0f (no cache: the tables made at every start)" % none, "%.1f× faster" % (none / warm)),
            ("%s, tables' cache cold (made and written)" % what, "%.0f" % cold, "", "")]


def main():
    bin_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/native/bin")
    # --only startup or --only tool: those rows alone.
    only = sys.argv[sys.argv.index("--only") + 1] if "--only" in sys.argv[2:] else None
    if only:
        for row in {"startup": startup_rows, "tool": tool_rows}[only](bin_dir):
            print("| %s |" % " | ".join(row))
        return
    startup = startup_rows(bin_dir)
    nets = google_benchmark(os.path.join(bin_dir, "nets_bench"))
    geo = google_benchmark(os.path.join(bin_dir, "geo_bench"))

    rows = []
    for size, label in ((1000, "1 K"), (100000, "100 K"), (1000000, "1 M")):
        index = nets["checkIp/index/%d" % size]["items_per_second"]
        scan = nets["checkIp/scan/%d" % size]["items_per_second"]
        rows.append(("`checkIp`, %s subnets, lookups/s" % label, "%s (index)" % per_second(index),
                     "%s (linear scan)" % per_second(scan), "%.0f×" % (index / scan)))
    add = nets["add_nets/1000000"]
    rows.append(("`add_nets` of 1 M lines, s", "%.3f" % (add["cpu_time"] / 1e3), "", ""))
    first = nets["add_nets_then_checkIp/1000000"]
    rows.append(("`add_nets` of 1 M lines and the first `checkIp` (builds the index), s",
                 "%.3f" % (first["cpu_time"] / 1e3), "", ""))
    for size, label in ((1000, "1 K"), (100000, "100 K"), (1000000, "1 M")):
        index = nets["checkIp6/index/%d" % size]["items_per_second"]
        scan = nets["checkIp6/scan/%d" % size]["items_per_second"]
        rows.append(("`checkIp` of IPv6, %s IPv6 subnets, lookups/s" % label,
                     "%s (index)" % per_second(index), "%s (linear scan)" % per_second(scan),
                     "%.0f×" % (index / scan)))
    v6 = nets["checkIp6/index/1000000"]["items_per_second"]
    v4 = nets["checkIp/index/1000000"]["items_per_second"]
    rows.append(("`checkIp` by the index, 1 M subnets, IPv6 against IPv4, lookups/s",
                 "%s (IPv6)" % per_second(v6), "%s (IPv4)" % per_second(v4), "%.2f×" % (v6 / v4)))
    add = nets["add_nets6/1000000"]
    rows.append(("`add_nets` of 1 M IPv6 lines, s", "%.3f" % (add["cpu_time"] / 1e3), "", ""))
    first = nets["add_nets6_then_checkIp/1000000"]
    rows.append(("`add_nets` of 1 M IPv6 lines and the first `checkIp`, s",
                 "%.3f" % (first["cpu_time"] / 1e3), "", ""))

    def rate(name):
        return geo[name]["items_per_second"]
    for ours, theirs, what in (
            ("ours/positioned_reads/iterations:1", "libgeoip/standard/iterations:1",
             ("positioned reads", "standard mode, given numbers")),
            ("ours/positioned_reads/iterations:1", "libgeoip/standard_text/iterations:1",
             ("positioned reads", "standard mode, given texts")),
            ("ours/memory_image", "libgeoip/memory_cache",
             ("memory image", "memory-cache mode, given numbers")),
            ("ours/memory_image", "libgeoip/memory_cache_text",
             ("memory image", "memory-cache mode, given texts"))):
        o, t = rate(ours), rate(theirs)
        rows.append(("country lookup of a text, %s, lookups/s" % what[0], per_second(o),
                     "%s (libGeoIP, %s)" % (per_second(t), what[1]), "%.2f×" % (o / t)))
    for ours, theirs, what in (
            ("ours6/memory_image", "libgeoip6/memory_cache", ("an address", "given numbers")),
            ("ours6/memory_image_text", "libgeoip6/memory_cache_text", ("a text", "given texts"))):
        o, t = rate(ours), rate(theirs)
        rows.append(("IPv6 country lookup of %s from GeoIPv6.dat, memory image, lookups/s"
                     % what[0], per_second(o),
                     "%s (libGeoIP, memory-cache mode, %s)" % (per_second(t), what[1]),
                     "%.2f×" % (o / t)))

    rows += mmdb_rows(bin_dir)

    rows += tool_rows(bin_dir)
    rows += startup

    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                if line.startswith("model name")), "unknown CPU")
    print("Machine: %s, %d cores (nproc)\n" % (cpu, len(os.sched_getaffinity(0))))
    print("| Measure | Ours | Compared with | Ratio |")
    print("|---|---|---|---|")
    for row in rows:
        print("| %s |" % " | ".join(row))


if __name__ == "__main__":
    main()
