#!/usr/bin/env python3
"""Draws the skin's pictures and writes the skin archive.

usage: make_skin.py OUTPUT.zip [--picture NAME=FILE]...

The pictures are drawn here from geometry (nothing is copied from anywhere);
bkg.jpg is finished by ImageMagick (text and JPEG encoding). --picture takes
the picture NAME (for example Default/bkg.jpg) from FILE instead; a name that
is not drawn here is added. Descriptions and styles are stored deflated under
their bare names, pictures stored as they are under "Default/".

Every picture must be a whole PNG, or a baseline or progressive JPEG, that
decodes without a warning; otherwise nothing is written and the exit status
is 1. The program trusts its skin: this is where its pictures are checked.
"""
import math
import os
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
from rgba_png import rgba_png  # noqa: E402
FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

# The program's decoder refuses larger pictures.
MAX_PIXELS = 16 * 1024 * 1024
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class PictureRefused(Exception):
    pass


def jpeg_frame(data):
    """(frame marker, sample precision) of a JPEG, read from the segments
    before its first scan; None when there is no frame header there."""
    at = 2
    while at + 5 <= len(data):
        if data[at] != 0xFF:
            return None
        marker = data[at + 1]
        if marker == 0xFF:  # fill byte
            at += 1
            continue
        if marker == 0xDA:
            return None
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            return marker, data[at + 4]
        at += 2 + int.from_bytes(data[at + 2:at + 4], "big")
    return None


def check_picture(name, path, max_pixels=MAX_PIXELS):
    """Raises PictureRefused unless the file is a PNG or JPEG that the
    program's decoder (stb_image) takes and ImageMagick decodes cleanly.

    ImageMagick decodes with libpng and libjpeg-turbo; -regard-warnings makes
    their warnings (a bad CRC, data that ends early or has stray bytes)
    failures. libjpeg-turbo also decodes arithmetic-coded JPEGs, which
    stb_image does not: the frame type is checked here."""
    with open(path, "rb") as f:
        data = f.read()
    lower = name.lower()
    if lower.endswith(".png"):
        kind = "png"
        if not data.startswith(PNG_SIGNATURE):
            raise PictureRefused("not a PNG file")
    elif lower.endswith((".jpg", ".jpeg")):
        kind = "jpeg"
        if not data.startswith(b"\xff\xd8\xff"):
            raise PictureRefused("not a JPEG file")
        frame = jpeg_frame(data)
        if frame is None:
            raise PictureRefused("no JPEG frame header before the first scan")
        if frame[0] not in (0xC0, 0xC1, 0xC2) or frame[1] != 8:
            raise PictureRefused("JPEG frame 0x%02X with %d-bit samples: only baseline and progressive "
                                 "Huffman-coded JPEG of 8-bit samples is decoded" % frame)
    else:
        raise PictureRefused("the skin's pictures are PNG (.png) or JPEG (.jpg)")
    result = subprocess.run(["convert", "-regard-warnings", "%s:%s" % (kind, path), "-print", "%w %h\n", "null:"],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise PictureRefused("does not decode cleanly: " + " ".join(result.stderr.split()))
    width, height = (int(v) for v in result.stdout.split())
    if width * height > max_pixels:
        raise PictureRefused("%d x %d pixels is more than the program decodes (%d)" % (width, height, max_pixels))

# Palette: one blue accent, one green for retry, quiet greys.
BLUE = (47, 124, 246)
BLUE_HOT = (74, 144, 255)
BLUE_DOWN = (31, 102, 214)
GREEN = (34, 165, 101)
GREEN_HOT = (47, 191, 120)
GREEN_DOWN = (26, 139, 83)
WHITE = (255, 255, 255)


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


class Canvas:
    """Straight-alpha RGBA floats (colour 0..255, alpha 0..1)."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[(0.0, 0.0, 0.0, 0.0)] * w for _ in range(h)]

    def over(self, x, y, colour, alpha):
        if alpha <= 0:
            return
        r, g, b, a = self.px[y][x]
        out_a = alpha + a * (1 - alpha)
        if out_a <= 0:
            return
        c = tuple((colour[i] * alpha + (r, g, b)[i] * a * (1 - alpha)) / out_a for i in range(3))
        self.px[y][x] = (c[0], c[1], c[2], out_a)

    def png(self, path):
        def byte(v):
            return int(round(clamp(v, 0, 255)))

        rows = (b"".join(bytes((byte(r), byte(g), byte(b), int(round(clamp(a) * 255)))) for r, g, b, a in row)
                for row in self.px)
        with open(path, "wb") as f:
            f.write(rgba_png(self.w, self.h, rows))


def round_rect_distance(x, y, left, top, right, bottom, radius):
    """Signed distance from the pixel centre to a rounded rectangle."""
    cx, cy = x + 0.5, y + 0.5
    hx, hy = (right - left) / 2.0, (bottom - top) / 2.0
    qx = abs(cx - (left + right) / 2.0) - hx + radius
    qy = abs(cy - (top + bottom) / 2.0) - hy + radius
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def coverage(d):
    return clamp(0.5 - d)


# --- buttons: 20 x 40, caps of 5 pixels, the middle stretches -------------

def button(path, fill, border=None, sheen=0.06):
    c = Canvas(20, 40)
    for y in range(40):
        # a faint top-to-bottom sheen keeps the flat fill from looking dead
        shade = mix(tuple(min(255, v + 255 * sheen) for v in fill), fill, y / 39.0)
        for x in range(20):
            d = round_rect_distance(x, y, 0, 0, 20, 40, 4.5)
            if border:
                c.over(x, y, border, coverage(d))
                c.over(x, y, shade, coverage(d + 1.0))
            else:
                c.over(x, y, shade, coverage(d))
    c.png(path)


# --- 14 x 14 window buttons ------------------------------------------------

def segment_distance(px, py, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    t = clamp(((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy))
    return math.hypot(px - ax - t * vx, py - ay - t * vy)


def glyph(path, segments, alpha, disc=0.0):
    c = Canvas(14, 14)
    for y in range(14):
        for x in range(14):
            if disc:
                d = math.hypot(x + 0.5 - 7, y + 0.5 - 7) - 7
                c.over(x, y, WHITE, coverage(d) * disc)
            d = min(segment_distance(x + 0.5, y + 0.5, *s) for s in segments) - 0.8
            c.over(x, y, WHITE, coverage(d) * alpha)
    c.png(path)


CROSS = [(3.5, 3.5, 10.5, 10.5), (10.5, 3.5, 3.5, 10.5)]
DASH = [(3.0, 7.5, 11.0, 7.5)]


# --- progress bar: 20 x 10, round caps of 5 pixels -------------------------

def bar(path, top, bottom):
    c = Canvas(20, 10)
    for y in range(10):
        colour = mix(top, bottom, y / 9.0)
        for x in range(20):
            c.over(x, y, colour, coverage(round_rect_distance(x, y, 0, 0, 20, 10, 5)))
    c.png(path)


# --- message box body: 356 x 212 with an 8-pixel soft shadow ---------------

def dialog(path):
    w, h, band = 356, 212, 8
    c = Canvas(w, h)
    body = (band, band, w - band, h - band)
    header = 50
    for y in range(h):
        for x in range(w):
            d = round_rect_distance(x, y, *body, 4)
            if d > 0:
                # shadow: strongest at the body, gone at the outer edge
                t = clamp(1 - d / band)
                c.over(x, y, (16, 24, 40), 0.30 * t * t)
            if y < header:
                colour = mix(BLUE_HOT, BLUE, (y - band) / float(header - band))
            elif y == header:
                colour = (226, 232, 240)
            else:
                colour = WHITE
            c.over(x, y, colour, coverage(d))
    c.png(path)


# --- the veil shown over the main window while a message box is open ------

def mask(path):
    c = Canvas(615, 366)
    for y in range(366):
        a = 0.42 + 0.10 * y / 365.0
        row = c.px[y]
        for x in range(615):
            row[x] = (14.0, 20.0, 34.0, a)
    c.png(path)


# --- main window background: 615 x 366 ------------------------------------

def background(path, workdir):
    w, h, split = 615, 366, 290
    top_left, top_right = (28, 52, 120), (28, 150, 200)
    glows = [(520, 40, 150, 0.16), (470, 230, 90, 0.10), (80, 300, 140, 0.08), (600, 280, 60, 0.12)]
    raw = bytearray()
    for y in range(h):
        for x in range(w):
            if y >= split:
                # quiet band for the progress bar and status text
                v = 255 - 4 * (y - split) / (h - split)
                px = (v, v + 0.5, v + 1.5)
            else:
                t = clamp((x / w) * 0.75 + (y / split) * 0.25)
                px = mix(top_left, top_right, t)
                for gx, gy, r, strength in glows:
                    d = math.hypot(x - gx, y - gy)
                    if d < r:
                        k = strength * (1 - d / r) ** 2
                        px = mix(px, WHITE, k)
                # thin diagonal lines, barely there
                if (x + y) % 28 == 0:
                    px = mix(px, WHITE, 0.035)
                if y >= split - 2:
                    px = mix(px, (18, 40, 90), 0.35)
            raw += bytes(int(round(clamp(v, 0, 255))) for v in px)
    ppm = os.path.join(workdir, "bkg.ppm")
    with open(ppm, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (w, h))
        f.write(raw)
    font = ["-font", FONT] if os.path.exists(FONT) else []
    subprocess.run(
        ["convert", ppm, *font,
         "-fill", "white", "-pointsize", "54", "-annotate", "+44+150", "Quorvex",
         "-fill", "rgba(255,255,255,0.78)", "-pointsize", "20", "-annotate", "+48+190",
         "\u6e38\u620f\u5927\u5385 \u00b7 \u5b89\u88c5\u7a0b\u5e8f",  # 游戏大厅 · 安装程序
         "-quality", "92", "-sampling-factor", "4:2:0", "-strip", path],
        check=True)


def parse_arguments(argv):
    usage = "usage: make_skin.py OUTPUT.zip [--picture NAME=FILE]..."
    out, given = None, {}
    args = list(argv)
    while args:
        arg = args.pop(0)
        if arg == "--picture" and args and "=" in args[0]:
            name, path = args.pop(0).split("=", 1)
            given[name] = os.path.abspath(path)
        elif out is None and not arg.startswith("-"):
            out = arg
        else:
            sys.exit(usage)
    if out is None:
        sys.exit(usage)
    return out, given


def main():
    out, given = parse_arguments(sys.argv[1:])
    with tempfile.TemporaryDirectory() as work:
        pics = dict(given)

        def pic(name, draw, *args):
            if "Default/" + name in given:
                return
            path = os.path.join(work, name)
            draw(path, *args)
            pics["Default/" + name] = path

        pic("bkg.jpg", background, work)
        pic("mask.png", mask)
        pic("btn_default.png", button, WHITE, (208, 213, 221), 0.0)
        pic("btn_hot.png", button, (244, 247, 251), (170, 182, 199), 0.0)
        pic("btn_down.png", button, (228, 233, 240), (160, 172, 190), 0.0)
        pic("btn_f_default.png", button, BLUE)
        pic("btn_f_hot.png", button, BLUE_HOT)
        pic("btn_f_down.png", button, BLUE_DOWN, None, 0.0)
        pic("btn_retry_default.png", button, GREEN)
        pic("btn_retry_hot.png", button, GREEN_HOT)
        pic("btn_retry_down.png", button, GREEN_DOWN, None, 0.0)
        pic("close_default.png", glyph, CROSS, 0.92)
        pic("close_down.png", glyph, CROSS, 1.0, 0.28)
        pic("min_default.png", glyph, DASH, 0.92)
        pic("min_down.png", glyph, DASH, 1.0, 0.28)
        pic("dlg_bkg.png", dialog)
        pic("bar_bkgnd.png", bar, (226, 230, 236), (234, 237, 242))
        pic("bar_foregnd.png", bar, BLUE_HOT, BLUE)

        refused = False
        for name in sorted(pics):
            try:
                check_picture(name, pics[name])
            except (PictureRefused, OSError) as e:
                print("make_skin.py: refusing %s (%s): %s" % (name, pics[name], e), file=sys.stderr)
                refused = True
        if refused:
            sys.exit(1)

        # Entries carry a fixed time and mode, not the files' own: the same
        # sources give the same archive, and so the same program bytes.
        epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
        stamp = time.gmtime(max(epoch, 315532800))[:6]  # ZIP times start in 1980

        def add(z, name, path, compress):
            entry = zipfile.ZipInfo(name, stamp)
            entry.external_attr = 0o644 << 16
            entry.compress_type = compress
            with open(path, "rb") as f:
                z.writestr(entry, f.read())

        tmp = out + ".part"
        with zipfile.ZipFile(tmp, "w") as z:
            folder_entry = zipfile.ZipInfo("Default/", stamp)
            folder_entry.external_attr = (0o40755 << 16) | 0x10
            z.writestr(folder_entry, b"")
            for folder in ("descriptions", "styles"):
                for name in sorted(os.listdir(os.path.join(HERE, folder))):
                    if name.endswith(".xml"):
                        add(z, name[:-4], os.path.join(HERE, folder, name), zipfile.ZIP_DEFLATED)
            for name in sorted(pics):
                add(z, name, pics[name], zipfile.ZIP_STORED)
        os.replace(tmp, out)


if __name__ == "__main__":
    main()
