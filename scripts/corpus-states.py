#!/usr/bin/env python3
# Writes the receiver corpus's expected probe states: per log, the landed build's
# GGA/VTG states from the second GGA on (count and FNV-1a 64 hash of the lines) and
# this build's full output (count and hash). Made once from the landed probe:
#   scripts/corpus-states.py LANDED_PROBE NEW_PROBE > tests/data/probe-corpus-states.txt
import glob, json, os, subprocess, sys

def fnv(lines):
    h = 0xcbf29ce484222325
    for line in lines:
        for b in line.encode() + b"\n":
            h = ((h ^ b) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return h

def run(probe, path):
    return subprocess.run([probe, path], capture_output=True, text=True, check=True).stdout.splitlines()

def landed_part(lines):
    kept, ggas = [], 0
    for line in lines:
        kind = json.loads(line)["kind"]
        if kind == "GGA":
            ggas += 1
        if ggas >= 2 and kind in ("GGA", "VTG"):
            kept.append(line)
    return kept

landed, new = sys.argv[1], sys.argv[2]
root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "nmea-corpus")
print("# log, landed GGA/VTG states from the second GGA on: count hash; this build's lines: count hash")
for path in sorted(glob.glob(os.path.join(root, "**", "*.log"), recursive=True)):
    name = os.path.relpath(path, root)
    a, b = landed_part(run(landed, path)), run(new, path)
    print(f"{name} {len(a)} {fnv(a):016x} {len(b)} {fnv(b):016x}")
