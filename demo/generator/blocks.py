# The town's area layers: fields, river, the blocks with their buildings, park,
# fortress and piazza, planned once for every sheet.
import math
import random

from .geometry import (
    EAST_COLUMNS, EAST_ROWS, INNER_COLUMNS, INNER_ROWS, SOUTH_COLUMNS, SOUTH_ROWS, block_polygon,
    circle_poly, lerp, offset_polygon, point_in_polygon, rect
)
from .plan import (
    BACKGROUND, BUILDING, BUILDING_LINE, CHURCH, CHURCH_LINE, COURTYARD, EMBANKMENT,
    EMBANKMENT_HALF, FIELDS, FIELD_LINE, FONT_BOLD, FONT_ITALIC, FORT, FORT_LINE, GARDEN, HOUSE,
    PARK, PARK_LINE, PARK_TEXT, PATH, PATH_LINE, PAVED, PAVED_LINE, PLACE_TEXT, POINTS, RIVER_HALF,
    Street, TREE, TREE_LINE, WATER, WATER_LINE, curve, east_bank_street, river_u, straight_ew,
    straight_ns, west_bank_street
)


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
