#!/usr/bin/env python3
# Parsing speed, landed build beside this one, in one run on this machine: runs both
# builds' core_bench (ParseGga with its conversions, framing + parsing of the corpus,
# and this build's floors) and both velkar-nmea probes over the corpus repeated to
# 50 MB (best of three, CPU time), then prints each figure with its ratios.
#   scripts/parse-speed.py LANDED_BUILD_DIR [THIS_BUILD_DIR]
# A landed build dir needs bench/core_bench and tools/velkar-nmea built, e.g.
#   git worktree add /tmp/landed ec10478 && cmake -S /tmp/landed -B /tmp/landed/build \
#     -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build /tmp/landed/build --target core_bench velkar-nmea
import glob, json, os, resource, subprocess, sys, tempfile

here = os.path.dirname(os.path.abspath(__file__))
landed = sys.argv[1]
build = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "build")
names = "BM_ParseGga|BM_FramingAndParsing"

def bench(build_dir):
    out = subprocess.run([os.path.join(build_dir, "bench", "core_bench"), "--benchmark_filter=" + names,
                          "--benchmark_format=json", "--benchmark_repetitions=3",
                          "--benchmark_report_aggregates_only=true"], capture_output=True, text=True, check=True).stdout
    figures = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name = b["run_name"]
        figures[name] = b["bytes_per_second"] / 1e6 if "bytes_per_second" in b else b["cpu_time"]
    return figures

def probe_seconds(probe, path):
    best = None
    for _ in range(3):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        with open(os.devnull, "w") as sink:
            subprocess.run([probe, path], stdout=sink, check=True)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        best = cpu if best is None else min(best, cpu)
    return best

logs = sorted(glob.glob(os.path.join(here, "..", "tests", "data", "nmea-corpus", "**", "*.log"), recursive=True))
corpus = b"".join(open(p, "rb").read() for p in logs)
with tempfile.NamedTemporaryFile(suffix=".nmea", delete=False) as big:
    size = 0
    while size < 50_000_000:
        big.write(corpus)
        size += len(corpus)
try:
    old, new = bench(landed), bench(build)
    t_old = probe_seconds(os.path.join(landed, "tools", "velkar-nmea"), big.name)
    t_new = probe_seconds(os.path.join(build, "tools", "velkar-nmea"), big.name)
finally:
    os.unlink(big.name)

mb = size / 1e6
print(f"{'measure':34s} {'landed':>10s} {'now':>10s} {'now/landed':>11s} {'floor':>10s} {'now/floor':>10s}")
row = lambda what, a, b, ratio, floor, floor_ratio: print(
    f"{what:34s} {a:10.1f} {b:10.1f} {ratio:10.2f}x {floor:10.1f} {floor_ratio:9.2f}x")
f_old, f_new, f_floor = old["BM_FramingAndParsingCorpus"], new["BM_FramingAndParsingCorpus"], new["BM_FramingAndParsingFloor"]
row("framing + parse, corpus (MB/s)", f_old, f_new, f_new / f_old, f_floor, f_floor / f_new)
g_old, g_new, g_floor = old["BM_ParseGgaWithConversions"], new["BM_ParseGgaWithConversions"], new["BM_ParseGgaFloor"]
row("ParseGga + conversions (ns)", g_old, g_new, g_old / g_new, g_floor, g_new / g_floor)
print(f"{'velkar-nmea, 50 MB (MB/s CPU)':34s} {mb / t_old:10.1f} {mb / t_new:10.1f} {t_old / t_new:10.2f}x")
print("ratios above 1 are faster than landed; now/floor is how far from the floor (1.00 = at it)")
