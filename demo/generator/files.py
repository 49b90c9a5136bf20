# The files of the demo root: 24-bit BMP written and read back, the three
# configuration texts, the alert chime.
import math
import os
import struct
import wave

from .plan import CARD_DIR, POINTS, SHEETS, VELKAR_DIR, to_grid


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
