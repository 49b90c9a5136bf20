# The town's plan: where the demo root's files go, the five emulated fixes, the town's
# own frame against the plane grid, the three map sheets, the palette, the river, the
# streets and the preference points. Data and small pure functions only.
import math
import os


HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))  # the demo root
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
