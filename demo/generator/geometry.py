# Plane geometry in the town frame (polygons counter-clockwise) and the blocks
# left between the streets.
import math

from .plan import curve, east_bank_street, west_bank_street


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
