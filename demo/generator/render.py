# One sheet rasterised: the layers in drawing order through ImageMagick `convert`,
# its binary PPM read back into RGB bytes.
import os
import subprocess
import sys
import tempfile

from .blocks import draw_blocks, draw_fields, draw_river
from .canvas import Canvas
from .streets import (
    draw_area_labels, draw_grid_labels, draw_grid_lines, draw_street_labels, draw_streets,
    draw_trees_along_avenues
)


def render(sheet):
    c = Canvas(sheet)
    draw_fields(c)
    draw_river(c)
    draw_blocks(c)
    draw_streets(c)
    draw_trees_along_avenues(c)
    draw_grid_lines(c)
    draw_area_labels(c)
    draw_street_labels(c)
    draw_grid_labels(c)
    with tempfile.TemporaryDirectory() as tmp:
        mvg = os.path.join(tmp, "map.mvg")
        with open(mvg, "w") as f:
            f.write("\n".join(c.out) + "\n")
        ppm = subprocess.run(["convert", "mvg:" + mvg, "-alpha", "off", "-depth", "8", "ppm:-"],
                             check=True, stdout=subprocess.PIPE).stdout
    return decode_ppm(ppm, sheet.width, sheet.height)


def decode_ppm(data, width, height):
    """Pixels of a binary PPM as ImageMagick writes it:
        P6\n741 498\n255\n<741 x 498 x 3 bytes, R G B, top row first>"""
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    if fields != [b"P6", b"%d" % width, b"%d" % height, b"255"] or len(data) - pos != width * height * 3:
        sys.exit("convert gave an unexpected image: %r" % fields)
    return data[pos:]
