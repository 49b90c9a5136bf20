# The drawing surface: MVG text for ImageMagick built per sheet, with the label
# boxes that keep texts from overlapping.
import math

from .plan import BACKGROUND, FONT


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
