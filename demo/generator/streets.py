# The line and text layers: streets, avenue trees, street and area names, the
# labelled 100 m plane grid.
import math

from .blocks import LANES
from .canvas import text_width
from .geometry import lerp, segment_intersection
from .plan import (
    BACKGROUND, BRIDGE_CASING, FONT_ITALIC, GRID_LINE, GRID_TEXT, PARK, PARK_TEXT, RAIL, RAILWAY_V,
    RIVER_HALF, STREET, STREETS, STREET_CASING, STREET_TEXT, Street, TREE, TREE_LINE, WATER,
    WATER_TEXT, river_u
)


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
