#!/usr/bin/env python3
# Builds the demo device root beside this script: the three configuration files,
# three map bitmaps drawn from one street plan of an imaginary town around the five
# emulated fixes, a copy for the built-in default map, and the alert chime.
# Python standard library plus ImageMagick `convert` (it rasterises the drawing).
"""Regenerate the demo device root:  python3 demo/make-demo.py"""

import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
VELKAR_DIR = os.path.join(HERE, "My Documents", "Velkar")
CARD_DIR = os.path.join(HERE, "Scheda di memoria", "Velkar")
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT_ITALIC = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Oblique.ttf"

# The five emulated fixes in the plane grid (easting, northing), metres, in
# feeding order: a receiver moving west along one parallel.
CANNED = [
    (716594.898, 4914197.915),
    (716578.957, 4914197.386),
    (716541.762, 4914196.153),
    (716535.119, 4914195.932),
    (716528.477, 4914195.712),
]

# ---------------------------------------------------------------------------
# The town's own frame. The plane grid's central meridian lies 2.7 degrees west
# of the town, so a parallel through the town climbs about 1.9 degrees to the
# east in the grid (meridian convergence). The streets are laid out along the
# parallels and meridians, as the emulated track is: u metres east along the
# parallel, v metres north along the meridian, origin at the fifth fix.
E0, N0 = CANNED[4]
_SLOPE = (CANNED[0][1] - CANNED[4][1]) / (CANNED[0][0] - CANNED[4][0])
COS_G = 1.0 / math.hypot(1.0, _SLOPE)
SIN_G = _SLOPE * COS_G


def to_grid(u, v):
    """Town frame (u east, v north, metres) to plane grid (easting, northing)."""
    return (E0 + u * COS_G - v * SIN_G, N0 + u * SIN_G + v * COS_G)


class Sheet:
    """One map bitmap: its size in pixels and the plane coordinates of its edges.

    Pixel column c covers eastings [left + c*sx, left + (c+1)*sx), as the
    navigator truncates; ImageMagick puts pixel centres on integer coordinates,
    hence the half-pixel shift in px()."""

    def __init__(self, name, filename, width, height, left, top, right, bottom, font_scale):
        self.name, self.filename = name, filename
        self.width, self.height = width, height
        self.left, self.top, self.right, self.bottom = left, top, right, bottom
        self.sx = (right - left) / width
        self.sy = (top - bottom) / height
        self.mpp = math.sqrt(self.sx * self.sy)  # metres per pixel, mean of both axes
        self.font_scale = font_scale

    def grid_px(self, e, n):
        return ((e - self.left) / self.sx - 0.5, (self.top - n) / self.sy - 0.5)

    def px(self, u, v):
        return self.grid_px(*to_grid(u, v))

    def w(self, metres, minimum=0.0):
        """A width in metres as pixels, at least minimum."""
        return max(metres / self.mpp, minimum)


SHEETS = [
    # Exactly the edges and size of the navigator's built-in default map.
    Sheet("Centro", "centro.bmp", 741, 498, 716346.6, 4914433.5, 717261.9, 4913879.2, 1.0),
    # 0.4 m per pixel on both axes around the emulated track.
    Sheet("Dettaglio", "dettaglio.bmp", 1200, 900, 716320.0, 4914380.0, 716800.0, 4914020.0, 1.3),
    # 2.5 m per pixel: the town, the river, the railway and the fields around.
    Sheet("Dintorni", "dintorni.bmp", 800, 600, 715800.0, 4914950.0, 717800.0, 4913450.0, 0.85),
]

# ---------------------------------------------------------------------------
# Palette: light and calm, because the navigator ANDs the bitmap onto white and
# draws blue text, a blue dashed line, white circles and dark arrows over it.
BACKGROUND = "#f7f3e8"
STREET = "#ffffff"
STREET_CASING = "#b3ada3"
BRIDGE_CASING = "#8d8880"
BUILDING = ["#ead9bd", "#e6d4b6", "#eddfc7", "#e3d0b1", "#e9d6b8"]
BUILDING_LINE = "#cdb794"
COURTYARD = "#f1ecdf"
GARDEN = "#eaf1d8"
HOUSE = "#ecdcc2"
PARK = "#d6eac3"
PARK_LINE = "#b6d39d"
PATH = "#f5eed9"
PATH_LINE = "#ddd0ad"
TREE = "#bfdca6"
TREE_LINE = "#a3c88a"
WATER = "#b9dcf2"
WATER_LINE = "#8ec0e2"
EMBANKMENT = "#ddeccb"
PAVED = "#ede8dd"
PAVED_LINE = "#d9d1c0"
FORT = "#e2cca7"
FORT_LINE = "#a98b5f"
CHURCH = "#e7d1bd"
CHURCH_LINE = "#b58f72"
FIELDS = ["#f1f0d6", "#eaf0d4", "#f4edd3", "#edf2dd", "#f2efdc"]
FIELD_LINE = "#dcd8b8"
RAIL = "#9c9891"
GRID_LINE = "#9fb6cf"
GRID_TEXT = "#587593"
STREET_TEXT = "#4d4a45"
WATER_TEXT = "#3d7eb0"
PARK_TEXT = "#4d7a38"
PLACE_TEXT = "#6d5434"

# ---------------------------------------------------------------------------
# The street plan, in the town frame.


def river_u(v):
    """Centre line of the river (u as a function of v): a slow meander."""
    return 590.0 + 35.0 * math.sin(v / 170.0 + 0.6)


RIVER_HALF = 15.0      # half width of the water, metres
EMBANKMENT_HALF = 26.0  # green banks either side


def west_bank_street(v):
    return river_u(v) - 31.0


def east_bank_street(v):
    return river_u(v) + 31.0


class Street:
    def __init__(self, name, width, points, trees=False, label=True):
        self.name, self.width, self.points = name, width, points
        self.trees, self.label = trees, label


def straight_ew(v, u0, u1):
    return [(u0, v), (u1, v)]


def straight_ns(u, v0, v1):
    return [(u, v0), (u, v1)]


def curve(fn, v0, v1, step=10.0):
    count = int(math.ceil((v1 - v0) / step))
    return [(fn(v0 + (v1 - v0) * i / count), v0 + (v1 - v0) * i / count) for i in range(count + 1)]


STREETS = [
    Street("Via Emilia", 13, straight_ew(0, -1100, -330)),
    Street("Via Roma", 13, straight_ew(0, -330, 1150)),
    Street("Via Emilia", 13, straight_ew(0, 1150, 1600)),
    Street("Via Garibaldi", 9, straight_ew(150, -330, west_bank_street(150))),
    Street("Via Mazzini", 9, straight_ew(-130, -330, west_bank_street(-130))),
    Street("Viale Carducci", 15, straight_ew(300, -330, 1150), trees=True),
    Street("Viale dei Mille", 15, straight_ew(-280, -330, 1150), trees=True),
    Street("Viale Oriani", 15, straight_ns(-330, -545, 300), trees=True),
    Street("Viale Pascoli", 15, straight_ns(1150, -280, 300), trees=True),
    Street("Via Cavour", 9, straight_ns(-150, -420, 300)),
    Street("Via Verdi", 9, straight_ns(120, -280, 300)),
    Street("Viale della Stazione", 12, straight_ns(120, -545, -280), trees=True),
    Street("Via Dante", 9, straight_ns(340, -545, 300)),
    Street("Lungofiume", 8, curve(west_bank_street, -545, 300)),
    Street("Via Bellini", 8, curve(east_bank_street, -280, 300)),
    Street("Via Puccini", 8, straight_ew(150, east_bank_street(150), 1150)),
    Street("Via Verga", 8, straight_ew(-130, east_bank_street(-130), 1150)),
    Street("Via Matteotti", 9, straight_ns(880, -280, 300)),
    Street("Via Gramsci", 9, straight_ew(-420, -330, west_bank_street(-420))),
    Street("Via della Ferrovia", 9, straight_ew(-545, -330, west_bank_street(-545))),
    Street("Via San Vitale", 10, [(120, 300), (170, 420), (330, 600), (520, 900)]),
    Street("Via dei Campi", 6, straight_ns(-700, -1000, 900)),
    Street("Via Bassa", 6, straight_ew(560, -1100, 1600)),
    Street("Via Lunga", 6, straight_ew(-760, -1100, 1600)),
]

RAILWAY_V = -575.0

# Preference points: (name, u, v, alert). The first is the one the track line
# aims at from start-up, and the only one marked for the proximity alert: its
# square of 50 m reaches the third, fourth and fifth emulated fixes, not the
# first two, so the indicator turns from "?" to "!0" as the receiver walks west.
POINTS = [
    ("Rocca", -23.0, 24.0, 1),
    ("Fontana", -15.0, -66.0, 0),
    ("Chiesa", 230.0, 47.0, 0),
    ("Ponte", river_u(0.0), 0.0, 0),
]

# ---------------------------------------------------------------------------
# Geometry helpers (town frame, polygons counter-clockwise).


def offset_polygon(poly, dist):
    """Moves every edge of a counter-clockwise polygon inward by dist."""
    n = len(poly)
    lines = []
    for i in range(n):
        (x0, y0), (x1, y1) = poly[i], poly[(i + 1) % n]
        length = math.hypot(x1 - x0, y1 - y0)
        nx, ny = -(y1 - y0) / length, (x1 - x0) / length
        lines.append(((x0 + nx * dist, y0 + ny * dist), (x1 - x0, y1 - y0)))
    out = []
    for i in range(n):
        (p, d), (q, e) = lines[i - 1], lines[i]
        den = d[0] * e[1] - d[1] * e[0]
        if abs(den) < 1e-9:
            out.append(q)
            continue
        t = ((q[0] - p[0]) * e[1] - (q[1] - p[1]) * e[0]) / den
        out.append((p[0] + d[0] * t, p[1] + d[1] * t))
    return out


def point_in_polygon(pt, poly):
    x, y = pt
    inside = False
    for i in range(len(poly)):
        (x0, y0), (x1, y1) = poly[i - 1], poly[i]
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
            inside = not inside
    return inside


def rect(u0, v0, u1, v1):
    return [(u0, v0), (u1, v0), (u1, v1), (u0, v1)]


def circle_poly(cu, cv, r, count=28):
    return [(cu + r * math.cos(2 * math.pi * i / count), cv + r * math.sin(2 * math.pi * i / count))
            for i in range(count)]


def lerp(p, q, t):
    return (p[0] + (q[0] - p[0]) * t, p[1] + (q[1] - p[1]) * t)


def segment_intersection(p, q, r, s):
    d = (q[0] - p[0], q[1] - p[1])
    e = (s[0] - r[0], s[1] - r[1])
    den = d[0] * e[1] - d[1] * e[0]
    if abs(den) < 1e-12:
        return None
    t = ((r[0] - p[0]) * e[1] - (r[1] - p[1]) * e[0]) / den
    w = ((r[0] - p[0]) * d[1] - (r[1] - p[1]) * d[0]) / den
    if -1e-9 <= t <= 1 + 1e-9 and -1e-9 <= w <= 1 + 1e-9:
        return t
    return None


# ---------------------------------------------------------------------------
# Blocks between the streets.


def street_edges(centre, width, side, sidewalk=2.5):
    return centre + side * (width / 2.0 + sidewalk)


INNER_COLUMNS = [(-330, 15), (-150, 9), (120, 9), (340, 9), ("west", 8)]
INNER_ROWS = [(-280, 15), (-130, 9), (0, 13), (150, 9), (300, 15)]
EAST_COLUMNS = [("east", 8), (880, 9), (1150, 15)]
EAST_ROWS = [(-280, 15), (-130, 8), (0, 13), (150, 8), (300, 15)]
SOUTH_COLUMNS = [(-330, 15), (-150, 9), (120, 12), (340, 9), ("west", 8)]
SOUTH_ROWS = [(-545, 9), (-420, 9), (-280, 15)]


def block_polygon(col_a, col_b, row_a, row_b):
    """Counter-clockwise block outline between two columns and two rows of streets."""
    v0 = street_edges(row_a[0], row_a[1], +1)
    v1 = street_edges(row_b[0], row_b[1], -1)

    def side(col, sign):
        pos, width = col
        if pos == "west":
            fn = lambda v: west_bank_street(v) + sign * (width / 2.0 + 2.5)
        elif pos == "east":
            fn = lambda v: east_bank_street(v) + sign * (width / 2.0 + 2.5)
        else:
            return [(street_edges(pos, width, sign), v0), (street_edges(pos, width, sign), v1)]
        return curve(fn, v0, v1)

    right = side(col_b, -1)
    left = side(col_a, +1)
    return right + list(reversed(left))


# ---------------------------------------------------------------------------
# Drawing: MVG text for ImageMagick, built per sheet.


class Canvas:
    def __init__(self, sheet):
        self.sheet = sheet
        self.out = ["viewbox 0 0 %d %d" % (sheet.width, sheet.height),
                    "fill '%s' rectangle -1,-1 %d,%d" % (BACKGROUND, sheet.width + 1, sheet.height + 1),
                    "stroke-linejoin round"]
        self.area_labels = []   # (x, y, text, size, colour, halo, font)
        self.labels = []        # boxes of the labels written so far
        self.texts = []         # (text, x, y) of the labels written so far
        self.street_boxes = []  # boxes of the street bands, kept free of grid labels

    def pts(self, points):
        return " ".join("%.2f,%.2f" % self.sheet.px(u, v) for u, v in points)

    def polygon(self, points, fill, stroke=None, width=1.0):
        s = "stroke '%s' stroke-width %.2f" % (stroke, width) if stroke else "stroke none"
        self.out.append("fill '%s' %s polygon %s" % (fill, s, self.pts(points)))

    def polyline(self, points, colour, width, cap="butt", dash=None):
        self.out.append("push graphic-context")
        self.out.append("fill none stroke '%s' stroke-width %.2f stroke-linecap %s" % (colour, width, cap))
        if dash:
            self.out.append("stroke-dasharray %s" % " ".join("%.2f" % d for d in dash))
        self.out.append("polyline %s" % self.pts(points))
        self.out.append("pop graphic-context")

    def circle(self, u, v, r_px, fill, stroke=None, width=1.0):
        x, y = self.sheet.px(u, v)
        s = "stroke '%s' stroke-width %.2f" % (stroke, width) if stroke else "stroke none"
        self.out.append("fill '%s' %s circle %.2f,%.2f %.2f,%.2f" % (fill, s, x, y, x + r_px, y))

    def text_px(self, x, y, angle, text, size, colour, halo, font=FONT, halo_width=3.0):
        text = text.replace("'", "\\'")
        self.out += [
            "push graphic-context",
            "font '%s' font-size %.1f text-anchor middle" % (font, size),
            "translate %.2f,%.2f rotate %.2f" % (x, y, angle),
            "fill '%s' stroke '%s' stroke-width %.1f text 0,%.2f '%s'" % (halo, halo, halo_width, size * 0.36, text),
            "fill '%s' stroke none text 0,%.2f '%s'" % (colour, size * 0.36, text),
            "pop graphic-context",
        ]

    def area_label(self, u, v, text, size, colour, halo, font=FONT):
        """A place name, written after everything else and before street names."""
        x, y = self.sheet.px(u, v)
        self.area_labels.append((x, y, text, size * self.sheet.font_scale, colour, halo, font))

    def place_label(self, candidates, text, size, colour, halo, font=FONT, avoid_streets=False, halo_width=3.0,
                    same_apart=0.0):
        """Writes text at the first candidate (x, y, angle) where it overlaps no
        label placed before (nor a street, when asked) and lies same_apart pixels
        from the same text written before. Returns 1 when placed."""
        for x, y, angle in candidates:
            if any(t == text and math.hypot(x - a, y - b) < same_apart for t, a, b in self.texts):
                continue
            box = label_box(x, y, angle, text, size)
            if not all(0 <= px < self.sheet.width and 0 <= py < self.sheet.height for px, py in box_corners(box)):
                continue  # a name cut by the edge of the bitmap reads badly
            if any(boxes_overlap(box, b) for b in self.labels):
                continue
            if avoid_streets and any(boxes_overlap(box, b) for b in self.street_boxes):
                continue
            self.labels.append(box)
            self.texts.append((text, x, y))
            self.text_px(x, y, angle, text, size, colour, halo, font, halo_width)
            return 1
        return 0

    def line_px(self, x0, y0, x1, y1, colour, width):
        self.out.append("fill none stroke '%s' stroke-width %.2f line %.2f,%.2f %.2f,%.2f"
                        % (colour, width, x0, y0, x1, y1))

    def visible(self, points, margin=60.0):
        xs, ys = zip(*(self.sheet.px(u, v) for u, v in points))
        return (max(xs) > -margin and min(xs) < self.sheet.width + margin
                and max(ys) > -margin and min(ys) < self.sheet.height + margin)


def text_width(text, size):
    """Rough advance of DejaVu Sans: enough to keep labels apart."""
    return len(text) * size * 0.62


def label_box(x, y, angle, text, size, pad=2.0):
    """Oriented box (centre x, y, half length, half height, angle in radians)."""
    return (x, y, text_width(text, size) / 2.0 + pad, size * 0.55 + pad, math.radians(angle))


def box_corners(box):
    x, y, hx, hy, a = box
    ca, sa = math.cos(a), math.sin(a)
    return [(x + ca * dx - sa * dy, y + sa * dx + ca * dy) for dx, dy in ((-hx, -hy), (hx, -hy), (hx, hy), (-hx, hy))]


def boxes_overlap(b1, b2):
    """Separating-axis test for two oriented boxes."""
    if math.hypot(b1[0] - b2[0], b1[1] - b2[1]) > math.hypot(b1[2], b1[3]) + math.hypot(b2[2], b2[3]):
        return False
    c1, c2 = box_corners(b1), box_corners(b2)
    for a in (b1[4], b1[4] + math.pi / 2, b2[4], b2[4] + math.pi / 2):
        ax, ay = math.cos(a), math.sin(a)
        p1 = [x * ax + y * ay for x, y in c1]
        p2 = [x * ax + y * ay for x, y in c2]
        if max(p1) < min(p2) or max(p2) < min(p1):
            return False
    return True


# ---------------------------------------------------------------------------
# Layers.


def draw_fields(c):
    rng = random.Random(7)
    town = [(-345, -300, 1165, 315), (-345, -590, 560, -300)]
    for i in range(-9, 14):
        for j in range(-10, 10):
            u0, v0 = i * 140.0 + rng.uniform(-12, 12), j * 100.0 + rng.uniform(-10, 10)
            u1, v1 = u0 + 140.0 + rng.uniform(-15, 15), v0 + 100.0 + rng.uniform(-10, 10)
            cu, cv = (u0 + u1) / 2, (v0 + v1) / 2
            if any(u1 > a and u0 < b and v1 > p and v0 < q for a, p, b, q in town):
                continue
            if abs(cu - river_u(cv)) < 110:
                continue
            poly, tone = rect(u0 + 3, v0 + 3, u1 - 3, v1 - 3), rng.choice(FIELDS)
            if c.visible(poly):  # the same draws on every sheet, so the fields match
                c.polygon(poly, tone, FIELD_LINE, 1.0)
    # A few farmsteads among the fields.
    for u, v in [(-620, 430), (-880, -230), (-520, -690), (960, 640), (1380, -520), (380, 760), (-880, 720)]:
        for du, dv, w, h in [(0, 0, 24, 12), (-4, 18, 12, 16)]:
            poly = rect(u + du, v + dv, u + du + w, v + dv + h)
            if c.visible(poly):
                c.polygon(poly, HOUSE, BUILDING_LINE, 1.0)


def draw_river(c):
    v0, v1 = -1000.0, 1000.0
    bank_w = curve(lambda v: river_u(v) - EMBANKMENT_HALF, v0, v1, 20)
    bank_e = curve(lambda v: river_u(v) + EMBANKMENT_HALF, v0, v1, 20)
    c.polygon(bank_e[::-1] + bank_w, EMBANKMENT)
    water_w = curve(lambda v: river_u(v) - RIVER_HALF, v0, v1, 10)
    water_e = curve(lambda v: river_u(v) + RIVER_HALF, v0, v1, 10)
    c.polygon(water_e[::-1] + water_w, WATER)
    for side in (water_w, water_e):
        c.polyline(side, WATER_LINE, 1.2)


def draw_terrace(c, poly, rng, depth=13.0):
    """A block of terraced houses round a courtyard, with the party walls drawn."""
    xs, ys = zip(*poly)
    fill = rng.choice(BUILDING)
    if min(max(xs) - min(xs), max(ys) - min(ys)) < 2 * depth + 8:
        c.polygon(poly, fill, BUILDING_LINE, 1.0)
        return
    inner = offset_polygon(poly, depth)
    c.polygon(poly, fill, BUILDING_LINE, 1.0)
    ixs, iys = zip(*inner)
    roomy = min(max(ixs) - min(ixs), max(iys) - min(iys)) > 24
    c.polygon(inner, GARDEN if roomy else COURTYARD, BUILDING_LINE, 0.8)
    if c.sheet.mpp > 2.0:
        return
    # Party walls: cuts every 9 to 19 m along the whole facade, none close to a
    # corner (where the cut would run diagonally into the corner house).
    n = len(poly)
    lengths = [math.hypot(poly[(i + 1) % n][0] - poly[i][0], poly[(i + 1) % n][1] - poly[i][1]) for i in range(n)]
    corners = []
    for i in range(n):
        a, b, q = poly[i - 1], poly[i], poly[(i + 1) % n]
        turn = math.atan2(q[1] - b[1], q[0] - b[0]) - math.atan2(b[1] - a[1], b[0] - a[0])
        turn = (turn + math.pi) % (2 * math.pi) - math.pi
        if abs(turn) > math.radians(25):
            corners.append(sum(lengths[:i]))
    total = sum(lengths)
    s = rng.uniform(0, 8)
    while s < total:
        near_corner = any(min(abs(s - k), total - abs(s - k)) < depth + 2 for k in corners)
        if not near_corner:
            i, rest = 0, s
            while rest > lengths[i]:
                rest -= lengths[i]
                i += 1
            t = rest / lengths[i]
            o = lerp(poly[i], poly[(i + 1) % n], t)
            w = lerp(inner[i], inner[(i + 1) % n], t)
            x0, y0 = c.sheet.px(*o)
            x1, y1 = c.sheet.px(*w)
            c.line_px(x0, y0, x1, y1, BUILDING_LINE, 0.8)
        s += rng.uniform(9.0, 19.0)
    if roomy:
        cu, cv = sum(ixs) / len(ixs), sum(iys) / len(iys)
        for _ in range(rng.randint(1, 3)):
            c.circle(cu + rng.uniform(-8, 8), cv + rng.uniform(-6, 6), c.sheet.w(rng.uniform(3.5, 5.5), 1.5),
                     TREE, TREE_LINE, 0.8)


def draw_villa_block(c, poly, rng):
    """A block of detached houses in their gardens."""
    c.polygon(poly, GARDEN, PARK_LINE, 0.8)
    xs, ys = zip(*poly)
    u = min(xs) + 6
    while u < max(xs) - 16:
        for v_base, sign in ((min(ys) + 6, 1), (max(ys) - 6, -1)):
            w, h = rng.uniform(10, 15), rng.uniform(9, 12)
            v = v_base if sign > 0 else v_base - h
            house = rect(u, v, u + w, v + h)
            if all(point_in_polygon(p, poly) for p in house):
                c.polygon(house, HOUSE, BUILDING_LINE, 0.8)
        u += rng.uniform(20, 26)


def draw_park(c, poly, rng):
    c.polygon(poly, PARK, PARK_LINE, 1.0)
    xs, ys = zip(*poly)
    u0, u1, v0, v1 = min(xs), max(xs), min(ys), max(ys)
    fu, fv = POINTS[1][1], POINTS[1][2]
    paths = [[(u0, v0), (fu, fv)], [(u1, v0), (fu, fv)], [(u0, v1), (fu, fv)], [(u1, v1), (fu, fv)],
             [((u0 + u1) / 2 + 30, v1), ((u0 + u1) / 2 + 30, v0)]]
    ring = circle_poly(fu, fv, 24.0, 40)
    path_w = c.sheet.w(4.0, 1.5)
    for p in paths:
        c.polyline(p, PATH_LINE, path_w + 1.6)
    c.polygon(ring, "none", PATH_LINE, path_w + 1.6)
    for p in paths:
        c.polyline(p, PATH, path_w)
    c.polygon(ring, "none", PATH, path_w)
    c.polygon(circle_poly(fu, fv, 14.0, 36), WATER, WATER_LINE, 1.0)
    c.circle(fu, fv, c.sheet.w(3.0, 1.5), "#ffffff", WATER_LINE, 1.0)

    def near_path(u, v):
        for (a, b) in [(p[0], p[1]) for p in paths]:
            dx, dy = b[0] - a[0], b[1] - a[1]
            t = max(0.0, min(1.0, ((u - a[0]) * dx + (v - a[1]) * dy) / (dx * dx + dy * dy)))
            if math.hypot(u - a[0] - t * dx, v - a[1] - t * dy) < 7.0:
                return True
        return abs(math.hypot(u - fu, v - fv) - 24.0) < 8.0 or math.hypot(u - fu, v - fv) < 20.0

    for _ in range(170):
        u, v = rng.uniform(u0 + 5, u1 - 5), rng.uniform(v0 + 5, v1 - 5)
        if not near_path(u, v):
            c.circle(u, v, c.sheet.w(rng.uniform(3.0, 5.0), 1.2), TREE, TREE_LINE, 0.8)


def draw_rocca(c, poly, rng):
    """The fortress: a square keep with round corner towers inside its moat."""
    xs, ys = zip(*poly)
    c.polygon(poly, PAVED, PAVED_LINE, 1.0)
    # Rows of trees on the open ground west of the moat.
    for u in (min(xs) + 10, min(xs) + 30, min(xs) + 50):
        v = min(ys) + 12
        while v < max(ys) - 8:
            c.circle(u, v, c.sheet.w(3.5, 1.2), TREE, TREE_LINE, 0.8)
            v += 14
    c.polygon(rect(-84, 20, 36, 136), WATER, WATER_LINE, 1.0)
    c.polygon(rect(-29, 12, -17, 36), PAVED, PAVED_LINE, 1.0)  # the bridge to the gate
    towers = [(-72, 32), (24, 32), (24, 124), (-72, 124)]
    for u, v in towers:
        c.circle(u, v, c.sheet.w(11.0, 2.0), FORT_LINE)
    c.polygon(rect(-72, 32, 24, 124), FORT_LINE)
    for u, v in towers:
        c.circle(u, v, c.sheet.w(10.0, 1.5), FORT)
    c.polygon(rect(-71, 33, 23, 123), FORT)
    c.polygon(rect(-58, 46, 10, 110), COURTYARD, FORT_LINE, 1.0)
    c.polygon(rect(-40, 88, -14, 110), FORT, FORT_LINE, 1.0)  # the keep
    c.area_label(-24, 62, "Rocca", 12, PLACE_TEXT, COURTYARD, FONT_BOLD)
    draw_terrace(c, rect(50, min(ys), max(xs), max(ys)), rng)


def draw_piazza(c, poly, rng):
    """Piazza Maggiore with its church, houses along the back of the square."""
    xs, ys = zip(*poly)
    u0, u1, v0, v1 = min(xs), max(xs), min(ys), max(ys)
    c.polygon(poly, PAVED, PAVED_LINE, 1.0)
    draw_terrace(c, rect(u0, 62, 190, v1), rng, 12.0)
    draw_terrace(c, rect(270, 62, u1, v1), rng, 12.0)
    nave, transept = rect(207, 50, 253, 126), rect(188, 98, 272, 116)
    apse = [(230 + 23 * math.cos(math.pi * i / 16), 126 + 18 * math.sin(math.pi * i / 16)) for i in range(17)]
    for shape in (nave, transept, apse):
        c.polygon(shape, CHURCH_LINE, CHURCH_LINE, 2.0)
    for shape in (nave, transept, apse):
        c.polygon(shape, CHURCH)
    arm = c.sheet.w(6.0, 3.0)
    x, y = c.sheet.px(230, 107)
    c.line_px(x - arm, y, x + arm, y, CHURCH_LINE, max(1.0, arm / 3))
    c.line_px(x, y - arm * 1.4, x, y + arm, CHURCH_LINE, max(1.0, arm / 3))
    c.area_label(230, 26, "Piazza Maggiore", 11, PLACE_TEXT, PAVED, FONT_ITALIC)


def draw_south_extras(c):
    # The station building between its road and the railway.
    c.polygon(rect(70, -566, 170, -554), FORT, FORT_LINE, 1.0)
    c.area_label(120, -597, "Stazione", 11, PLACE_TEXT, BACKGROUND, FONT_BOLD)


def column_at(col, v):
    pos = col[0]
    if pos == "west":
        return west_bank_street(v)
    if pos == "east":
        return east_bank_street(v)
    return pos


SPECIAL_BLOCKS = {("inner", -150, 0): "rocca", ("inner", -150, -130): "park",
                  ("inner", 120, 0): "piazza", ("south", 340, -545): "sports"}
LANE_WIDTH = 5.0


def plan_town():
    """Blocks of the town as (kind, polygon, seed), and the lanes that split the
    large blocks of the old town into blocks of about 90 x 70 m."""
    blocks, lanes = [], []
    grids = [(INNER_COLUMNS, INNER_ROWS, "inner"), (EAST_COLUMNS, EAST_ROWS, "east"),
             (SOUTH_COLUMNS, SOUTH_ROWS, "south")]
    for columns, rows, zone in grids:
        for ca, cb in zip(columns, columns[1:]):
            for ra, rb in zip(rows, rows[1:]):
                seed = "%s %s %s" % (zone, ca[0], ra[0])
                kind = SPECIAL_BLOCKS.get((zone, ca[0], ra[0]))
                if kind is None and zone != "inner":
                    kind = "villas"
                if kind is not None:
                    blocks.append((kind, block_polygon(ca, cb, ra, rb), seed))
                    continue
                rng = random.Random(seed)
                v_mid = (ra[0] + rb[0]) / 2.0
                a, b = column_at(ca, v_mid), column_at(cb, v_mid)
                count = max(1, int(round((b - a) / 95.0)))
                cols = [ca] + [(a + (b - a) * k / count + rng.uniform(-8, 8), LANE_WIDTH)
                               for k in range(1, count)] + [cb]
                rows_here = [ra]
                if rb[0] - ra[0] >= 145:
                    rows_here.append((v_mid + rng.uniform(-10, 10), LANE_WIDTH))
                rows_here.append(rb)
                for u, w in cols[1:-1]:
                    lanes.append(Street("", w, straight_ns(u, ra[0], rb[0]), label=False))
                for v, w in rows_here[1:-1]:
                    lanes.append(Street("", w, straight_ew(v, column_at(ca, v), column_at(cb, v)), label=False))
                for i, (c0, c1) in enumerate(zip(cols, cols[1:])):
                    for j, (r0, r1) in enumerate(zip(rows_here, rows_here[1:])):
                        blocks.append(("terrace", block_polygon(c0, c1, r0, r1), "%s %d %d" % (seed, i, j)))
    return blocks, lanes


BLOCKS, LANES = plan_town()


def draw_blocks(c):
    for kind, poly, seed in BLOCKS:
        if not c.visible(poly):
            continue
        rng = random.Random(seed)
        if kind == "rocca":
            draw_rocca(c, poly, rng)
        elif kind == "park":
            draw_park(c, poly, rng)
        elif kind == "piazza":
            draw_piazza(c, poly, rng)
        elif kind == "terrace":
            draw_terrace(c, poly, rng)
        elif kind == "sports":
            c.polygon(poly, GARDEN, PARK_LINE, 1.0)
            xs, ys = zip(*poly)
            cu, cv = (min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2
            c.polygon(rect(cu - 50, cv - 32, cu + 50, cv + 32), PARK, "#ffffff", 1.5)
            c.polyline([(cu, cv - 32), (cu, cv + 32)], "#ffffff", 1.0)
            c.area_label(cu, cv - 45, "Campo sportivo", 10, PARK_TEXT, GARDEN, FONT_ITALIC)
        else:
            draw_villa_block(c, poly, rng)
    draw_south_extras(c)


def draw_streets(c):
    streets = LANES + STREETS
    # Casings of every street first, then every fill, so that crossings merge.
    for s in streets:
        if c.visible(s.points):
            c.polyline(s.points, STREET_CASING, c.sheet.w(s.width, 2.0) + 2.0)
    for s in streets:
        if c.visible(s.points):
            c.polyline(s.points, STREET, c.sheet.w(s.width, 2.0))
            for p, q in zip(s.points, s.points[1:]):
                x0, y0 = c.sheet.px(*p)
                x1, y1 = c.sheet.px(*q)
                c.street_boxes.append(((x0 + x1) / 2, (y0 + y1) / 2, math.hypot(x1 - x0, y1 - y0) / 2,
                                       c.sheet.w(s.width, 2.0) / 2 + 1.0, math.atan2(y1 - y0, x1 - x0)))
    # Bridges: the street over the water between darker parapets.
    for s in STREETS:
        (u0, v0), (u1, v1) = s.points[0], s.points[-1]
        if len(s.points) == 2 and v0 == v1 and min(u0, u1) < river_u(v0) < max(u0, u1):
            span = [(river_u(v0) - RIVER_HALF - 6, v0), (river_u(v0) + RIVER_HALF + 6, v0)]
            c.polyline(span, BRIDGE_CASING, c.sheet.w(s.width, 2.0) + 3.0)
            c.polyline(span, STREET, c.sheet.w(s.width, 2.0))
    # Railway: a grey band with white ties, crossing the river on its own bridge.
    rail = [(-1100, RAILWAY_V), (1600, RAILWAY_V)]
    c.polyline(rail, RAIL, c.sheet.w(5.0, 3.0))
    c.polyline(rail, "#ffffff", c.sheet.w(2.0, 1.0), dash=[c.sheet.w(8.0, 4.0)] * 2)
    x0, y0 = c.sheet.px(*rail[0])
    x1, y1 = c.sheet.px(*rail[1])
    c.street_boxes.append(((x0 + x1) / 2, (y0 + y1) / 2, math.hypot(x1 - x0, y1 - y0) / 2,
                           c.sheet.w(5.0, 3.0) / 2 + 1.0, math.atan2(y1 - y0, x1 - x0)))


def draw_trees_along_avenues(c):
    if c.sheet.mpp > 2.0:
        return
    for s in STREETS:
        if not s.trees or not c.visible(s.points):
            continue
        (u0, v0), (u1, v1) = s.points[0], s.points[-1]
        length = math.hypot(u1 - u0, v1 - v0)
        nu, nv = -(v1 - v0) / length, (u1 - u0) / length
        off = s.width / 2.0 - 1.8
        t = 9.0
        while t < length - 9.0:
            u, v = u0 + (u1 - u0) * t / length, v0 + (v1 - v0) * t / length
            if not abs(u - river_u(v)) < RIVER_HALF + 8:
                for side in (-1, 1):
                    c.circle(u + side * off * nu, v + side * off * nv, c.sheet.w(2.6, 1.3), TREE, TREE_LINE, 0.7)
            t += 14.0


def street_label_stretches(s):
    """Distances along the street (metres) that bound the stretches between
    crossings, where its name can be written."""
    pts = s.points
    cum = [0.0]
    for p, q in zip(pts, pts[1:]):
        cum.append(cum[-1] + math.hypot(q[0] - p[0], q[1] - p[1]))
    stops = [0.0, cum[-1]]
    for other in STREETS + [Street("", 0, [(-1100, RAILWAY_V), (1600, RAILWAY_V)])]:
        if other is s:
            continue
        for i, (p, q) in enumerate(zip(pts, pts[1:])):
            for r, t in zip(other.points, other.points[1:]):
                hit = segment_intersection(p, q, r, t)
                if hit is not None:
                    stops.append(cum[i] + hit * (cum[i + 1] - cum[i]))
    blocked = []  # stretches that take no name: bridges, and the emulated track
    for i, (p, q) in enumerate(zip(pts, pts[1:])):
        if p[1] == q[1] and min(p[0], q[0]) < river_u(p[1]) < max(p[0], q[0]):
            x = abs(river_u(p[1]) - p[0])
            blocked.append((cum[i] + x - 40, cum[i] + x + 40))
    if s.name == "Via Roma":  # keep the track clear for the position marker
        blocked.append((-12.0 - pts[0][0], 82.0 - pts[0][0]))
    for lo, hi in blocked:
        stops += [lo, hi]
    stops.sort()
    stretches = [(a, b) for a, b in zip(stops, stops[1:])
                 if not any(lo - 1e-6 <= a and b <= hi + 1e-6 for lo, hi in blocked)]
    return stretches, cum


def point_along(pts, cum, d):
    for i in range(len(pts) - 1):
        if cum[i + 1] >= d:
            t = (d - cum[i]) / (cum[i + 1] - cum[i])
            return lerp(pts[i], pts[i + 1], t), pts[i], pts[i + 1]
    return pts[-1], pts[-2], pts[-1]


def draw_street_labels(c):
    """Names along the streets, repeated about every 400 pixels, so that the
    small window of the navigator finds one wherever it stands."""
    size = 10.5 * c.sheet.font_scale
    for s in STREETS:
        if not s.label or not c.visible(s.points):
            continue
        stretches, cum = street_label_stretches(s)
        need = (text_width(s.name, size) + 24) * c.sheet.mpp
        for a, b in stretches:
            if b - a < need:
                continue
            count = max(1, int((b - a) / (400 * c.sheet.mpp)))
            for k in range(count):
                mid = a + (b - a) * (k + 0.5) / count
                slack = (b - a) / count / 2 - need / 2
                candidates = []
                for shift in (0, -1, 1, -2, 2, -3, 3):
                    d = mid + shift * 12 * c.sheet.mpp
                    if abs(d - mid) > slack:
                        continue
                    (u, v), p, q = point_along(s.points, cum, d)
                    x, y = c.sheet.px(u, v)
                    x0, y0 = c.sheet.px(*p)
                    x1, y1 = c.sheet.px(*q)
                    angle = math.degrees(math.atan2(y1 - y0, x1 - x0))
                    if angle > 90:
                        angle -= 180
                    elif angle <= -90:
                        angle += 180
                    candidates.append((x, y, angle))
                c.place_label(candidates, s.name, size, STREET_TEXT, STREET, same_apart=260.0)


def draw_area_labels(c):
    c.area_label(-15, -112, "Giardini Pubblici", 11, PARK_TEXT, PARK, FONT_ITALIC)
    for x, y, text, size, colour, halo, font in c.area_labels:
        c.place_label([(x, y, 0.0)], text, size, colour, halo, font)
    # The river's name along the water, one every 380 pixels or so.
    size = 11 * c.sheet.font_scale
    last = None
    v = -1000.0
    while v < 1000.0:
        x, y = c.sheet.px(river_u(v), v)
        if last is None or math.hypot(x - last[0], y - last[1]) > 380:
            x0, y0 = c.sheet.px(river_u(v - 5), v - 5)
            x1, y1 = c.sheet.px(river_u(v + 5), v + 5)
            angle = math.degrees(math.atan2(y1 - y0, x1 - x0))
            if c.place_label([(x, y, angle)], "Fiume Verde", size, WATER_TEXT, WATER, FONT_ITALIC, halo_width=2.0):
                last = (x, y)
        v += 10.0


def draw_grid_lines(c):
    """Plane-grid lines every 100 m."""
    sh = c.sheet
    width = 1.0 if sh.mpp > 0.6 else 1.3
    opacity = 0.85 if sh.mpp < 2.0 else 0.6
    c.out.append("push graphic-context stroke-opacity %.2f" % opacity)
    for e in range(int(math.ceil(sh.left / 100.0)) * 100, int(sh.right) + 1, 100):
        x, _ = sh.grid_px(e, sh.top)
        c.line_px(x, -1, x, sh.height + 1, GRID_LINE, width)
    for n in range(int(math.ceil(sh.bottom / 100.0)) * 100, int(sh.top) + 1, 100):
        _, y = sh.grid_px(sh.left, n)
        c.line_px(-1, y, sh.width + 1, y, GRID_LINE, width)
    c.out.append("pop graphic-context")


def draw_grid_labels(c):
    """Each grid line carries its easting or northing beside it, repeated along
    the line, slid along it to keep clear of streets and other names."""
    sh = c.sheet
    size = 9.0 * sh.font_scale
    cell_px = min(100.0 / sh.sx, 100.0 / sh.sy)
    line_step = 100 * int(math.ceil(70.0 / cell_px))     # which lines carry labels
    along_step = 100 * int(math.ceil(150.0 / cell_px))   # how often along a line
    gap = 2.0 + size * 0.55
    slide = [k * 7.0 for k in (0, -1, 1, -2, 2, -3, 3, -4, 4, -5, 5, -6, 6, -7, 7, -8, 8)]
    for e in range(int(math.ceil(sh.left / line_step)) * line_step, int(sh.right) + 1, line_step):
        n = (int(sh.bottom) // along_step) * along_step + 50
        while n < sh.top:
            x, y = sh.grid_px(e, n)
            c.place_label([(x - gap, y + d, -90.0) for d in slide] + [(x + gap, y + d, -90.0) for d in slide],
                          "%d" % e, size, GRID_TEXT, BACKGROUND, avoid_streets=True)
            n += along_step
    for n in range(int(math.ceil(sh.bottom / line_step)) * line_step, int(sh.top) + 1, line_step):
        e = (int(sh.left) // along_step) * along_step + 50
        while e < sh.right:
            x, y = sh.grid_px(e, n)
            c.place_label([(x + d, y - gap, 0.0) for d in slide] + [(x + d, y + gap, 0.0) for d in slide],
                          "%d" % n, size, GRID_TEXT, BACKGROUND, avoid_streets=True)
            e += along_step


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


# ---------------------------------------------------------------------------
# Files.


def write_bmp(path, width, height, rgb):
    """24-bit uncompressed BMP, BITMAPINFOHEADER, rows bottom-up, padded to 4 bytes."""
    stride = (width * 3 + 3) & ~3
    pad = b"\0" * (stride - width * 3)
    rows = []
    for row in range(height - 1, -1, -1):
        line = bytearray(rgb[row * width * 3:(row + 1) * width * 3])
        line[0::3], line[2::3] = line[2::3], line[0::3]  # RGB to BGR
        rows.append(bytes(line) + pad)
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


class Bmp:
    """A 24-bit BMP read back, its headers checked:
        "BM" size:u32 0:u16 0:u16 offset:u32=54 | 40:u32 width:i32 height:i32>0 (bottom-up)
        planes:u16=1 bits:u16=24 compression:u32=0 imageSize:u32 ppm:i32 ppm:i32 0:u32 0:u32
        rows of B G R bytes, bottom row first, each padded to a multiple of 4 bytes"""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if len(self.data) < 54:
            raise ValueError("%s: too short for a bitmap" % path)
        magic, size, _, _, offset = struct.unpack_from("<2sIHHI", self.data, 0)
        hsize, width, height, planes, bpp, comp, image = struct.unpack_from("<IiiHHII", self.data, 14)
        self.width, self.height = width, height
        self.stride = (width * 3 + 3) & ~3
        if not (magic == b"BM" and size == len(self.data) and offset == 54 and hsize == 40 and width > 0
                and height > 0 and planes == 1 and bpp == 24 and comp == 0 and image == self.stride * height
                and size == 54 + image):
            raise ValueError("%s: not a bottom-up 24-bit BITMAPINFOHEADER bitmap" % path)

    def pixel(self, col, row):
        """(r, g, b) of column col, row row counted from the top."""
        at = 54 + (self.height - 1 - row) * self.stride + col * 3
        b, g, r = self.data[at:at + 3]
        return (r, g, b)


def configuration_texts():
    """The three configuration files, by path, as the navigator reads them."""
    texts = {}
    # comPort, baudRate, gpsEmulation, prefInDegrees, audioMessages, trackToTarget,
    # enableLog, proximity, mapInDegrees: exactly as the navigator writes it on Exit.
    values = [1, 4800, 1, 0, 1, 1, 1, 1, 0]
    texts[os.path.join(VELKAR_DIR, "vlcfg.cfg")] = (
        "[BEGIN]\n" + "".join("[%d]\n" % v for v in values) + "[0]\n[0]\n[END]\n")
    lines = []
    for i, s in enumerate(SHEETS, 1):
        lines.append("[%d][%s][\\My Documents\\Velkar\\%s][%.1f][%.1f][%.1f][%.1f][%d][%d][0][0][0][-]\n"
                     % (i, s.name, s.filename, s.left, s.top, s.right, s.bottom, s.width, s.height))
    texts[os.path.join(VELKAR_DIR, "vlmap.cfg")] = "".join(lines)
    lines = []
    for i, (name, u, v, alert) in enumerate(POINTS, 1):
        e, n = to_grid(u, v)
        lines.append("[%d][%s][-][%.1f][%.1f][-][-][%d][\\bip.wav][-][-][-][-]\n" % (i, name, e, n, alert))
    texts[os.path.join(VELKAR_DIR, "vlpref.cfg")] = "".join(lines)
    return texts


def chime_frames():
    """A soft two-tone chime, E6 then C6, 0.45 s, as 16-bit little-endian samples."""
    rate, length = CHIME_RATE, 0.45
    notes = [(0.0, 1318.51), (0.15, 1046.50)]
    samples = []
    for k in range(int(rate * length)):
        t = k / rate
        value = 0.0
        for start, freq in notes:
            if t < start:
                continue
            dt = t - start
            attack = math.sin(min(1.0, dt / 0.008) * math.pi / 2) ** 2  # soft 8 ms onset, no click
            value += attack * (math.exp(-dt / 0.14) * math.sin(2 * math.pi * freq * dt)
                               + 0.22 * math.exp(-dt / 0.06) * math.sin(2 * math.pi * 2 * freq * dt)
                               + 0.06 * math.exp(-dt / 0.03) * math.sin(2 * math.pi * 3 * freq * dt))
        tail = length - t
        if tail < 0.03:
            value *= tail / 0.03
        samples.append(value)
    peak = max(abs(s) for s in samples)
    return b"".join(struct.pack("<h", int(round(s / peak * 0.55 * 32767))) for s in samples)


CHIME_RATE = 22050
CHIME_PATH = os.path.join(CARD_DIR, "bip.wav")


def write_chime(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(CHIME_RATE)
        w.writeframes(chime_frames())


def in_square(point, fix):
    """The navigator's proximity test: both differences strictly below 50 m."""
    return point[0] > fix[0] - 50.0 and point[0] < fix[0] + 50.0 and point[1] > fix[1] - 50.0 and point[1] < fix[1] + 50.0


def check_root():
    """Checks the files as they stand, without ImageMagick. Returns a list of faults."""
    faults = []
    for path, text in configuration_texts().items():
        try:
            with open(path, encoding="utf-8", newline="") as f:
                if f.read() != text:
                    faults.append("%s differs from what the generator writes" % path)
        except OSError as e:
            faults.append(str(e))
    # The marked point: in range of the third to fifth fixes, not the first two.
    rocca = to_grid(POINTS[0][1], POINTS[0][2])
    rocca = (round(rocca[0], 1), round(rocca[1], 1))  # as written in the file
    reach = [in_square(rocca, fix) for fix in CANNED]
    if reach != [False, False, True, True, True]:
        faults.append("the marked point reaches fixes %s" % reach)
    for s in SHEETS:
        path = os.path.join(VELKAR_DIR, s.filename)
        try:
            bmp = Bmp(path)
        except (OSError, ValueError) as e:
            faults.append(str(e))
            continue
        if (bmp.width, bmp.height) != (s.width, s.height):
            faults.append("%s is %d x %d, the catalogue says %d x %d"
                          % (path, bmp.width, bmp.height, s.width, s.height))
            continue
        # Every emulated fix on the white of Via Roma (a grid line may tint the
        # pixel itself, so white within one pixel counts).
        for e, n in CANNED:
            col = int((e - s.left) / (s.right - s.left) * s.width)
            row = int(s.height - ((n - s.bottom) / (s.top - s.bottom)) * s.height)
            around = [bmp.pixel(col + dc, row + dr) for dc in (-1, 0, 1) for dr in (-1, 0, 1)]
            if not any(min(colour) >= 250 for colour in around):
                faults.append("fix %.3f, %.3f is not on a street in %s" % (e, n, s.filename))
    try:
        with open(os.path.join(HERE, "temp.bmp"), "rb") as a, open(os.path.join(VELKAR_DIR, "centro.bmp"), "rb") as b:
            if a.read() != b.read():
                faults.append("temp.bmp is not the Centro bitmap")
    except OSError as e:
        faults.append(str(e))
    try:
        with wave.open(CHIME_PATH, "rb") as w:
            duration = w.getnframes() / float(w.getframerate())
            if (w.getnchannels(), w.getsampwidth(), w.getframerate()) != (1, 2, CHIME_RATE):
                faults.append("bip.wav is not 16-bit mono at 22050 Hz")
            if not 0.3 <= duration <= 0.5:
                faults.append("bip.wav lasts %.2f s" % duration)
            if w.readframes(w.getnframes()) != chime_frames():
                faults.append("bip.wav differs from what the generator writes")
    except (OSError, wave.Error) as e:
        faults.append("bip.wav: %s" % e)
    total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(HERE) for f in fs)
    if total > 8 * 1024 * 1024:
        faults.append("the demo root weighs %.1f MB" % (total / 1048576.0))
    return faults


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
