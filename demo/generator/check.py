# The consistency check of the committed root (standard library only): the files
# as the generator writes them, the alert reach, bitmap headers and sizes, a
# street under every emulated fix, the chime, the root's weight.
import os
import wave

from .files import Bmp, CHIME_PATH, CHIME_RATE, chime_frames, configuration_texts
from .plan import CANNED, HERE, POINTS, SHEETS, VELKAR_DIR, to_grid


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
