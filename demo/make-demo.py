#!/usr/bin/env python3
# Builds the demo device root beside this script (the three configuration files, three
# map bitmaps of an imaginary town around the five emulated fixes, the default map's copy,
# the alert chime) through the modules in generator/; --check verifies the committed files.
# Python standard library plus ImageMagick `convert` (it rasterises the drawing).
"""Regenerate the demo device root:  python3 demo/make-demo.py"""

import os
import sys

sys.dont_write_bytecode = True  # run from the source tree by the test suite: leave no caches
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from generator.check import check_root  # noqa: E402
from generator.files import CHIME_PATH, configuration_texts, write_bmp, write_chime  # noqa: E402
from generator.plan import HERE, POINTS, SHEETS, VELKAR_DIR, to_grid  # noqa: E402
from generator.render import render  # noqa: E402


def main():
    if sys.argv[1:] == ["--check"]:
        faults = check_root()
        for fault in faults:
            print("demo root: " + fault, file=sys.stderr)
        return 1 if faults else 0
    if sys.argv[1:]:
        print("usage: make-demo.py [--check]", file=sys.stderr)
        return 2
    for path, text in configuration_texts().items():
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    for sheet in SHEETS:
        rgb = render(sheet)
        write_bmp(os.path.join(VELKAR_DIR, sheet.filename), sheet.width, sheet.height, rgb)
        if sheet.name == "Centro":
            # The navigator's built-in default map, used when there is no catalogue.
            write_bmp(os.path.join(HERE, "temp.bmp"), sheet.width, sheet.height, rgb)
    write_chime(CHIME_PATH)
    faults = check_root()
    for fault in faults:
        print("demo root: " + fault, file=sys.stderr)
    for name, u, v, alert in POINTS:
        print("%-8s easting %.1f northing %.1f alert %d" % ((name,) + to_grid(u, v) + (alert,)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
