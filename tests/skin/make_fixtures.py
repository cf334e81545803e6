#!/usr/bin/env python3
"""Writes the archives that the skin tests read: ZIPs made by the zip
command and by Python's zipfile, and a small skin with pictures whose pixels
the tests know.

usage: make_fixtures.py OUTPUT_DIR
"""
import os
import subprocess
import sys
import tempfile
import warnings
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from rgba_png import rgba_png  # noqa: E402


def png(w, h, pixel):
    """pixel(x, y) -> (r, g, b, a)"""
    return rgba_png(w, h, (b"".join(bytes(pixel(x, y)) for x in range(w)) for y in range(h)))


def band(v, first, second):
    return 0 if v < first else 1 if v < second else 2


def region_colour(cx, cy, alpha):
    # Must match RegionColour in the renderer tests.
    return (40 + cx * 80, 40 + cy * 80, 200 - 20 * (cx + 3 * cy), alpha)


def grid_picture(w, h, l, t, r, b, alpha=255):
    return png(w, h, lambda x, y: region_colour(band(x, l, w - r), band(y, t, h - b), alpha))


TEXT = b"".join(b"Quorvex line %d\n" % i for i in range(500))
RAW = bytes((i * 37 + 11) & 255 for i in range(300))


def style(kind, props):
    return ('<Style><Config type="%s"><Prop %s/></Config></Style>' % (kind, props)).encode()


def zip_command_archives(out, work):
    src = os.path.join(work, "src")
    os.makedirs(os.path.join(src, "dir"))
    with open(os.path.join(src, "text.txt"), "wb") as f:
        f.write(TEXT)
    with open(os.path.join(src, "dir", "raw.bin"), "wb") as f:
        f.write(RAW)
    plain = os.path.join(out, "zipcmd.zip")
    if os.path.exists(plain):
        os.remove(plain)
    # -n .bin stores raw.bin; text.txt is deflated; -r adds the folder entry.
    subprocess.run(["zip", "-q", "-X", "-r", "-n", ".bin", plain, "text.txt", "dir"], cwd=src, check=True)
    prefix = b"MZ" + bytes(range(256)) * 4
    with open(plain, "rb") as f:
        data = f.read()
    with open(os.path.join(out, "zipcmd_sfx.zip"), "wb") as f:
        f.write(prefix + data)
    adjusted = os.path.join(out, "zipcmd_sfx_adjusted.zip")
    with open(adjusted, "wb") as f:
        f.write(prefix + data)
    subprocess.run(["zip", "-q", "-A", adjusted], check=True)


def python_archive(path, comment):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # the duplicate name is intended
        with zipfile.ZipFile(path, "w") as z:
            z.writestr(zipfile.ZipInfo("stored.txt"), b"stored bytes\n" * 20, zipfile.ZIP_STORED)
            z.writestr("deflated.txt", b"deflated text " * 200, zipfile.ZIP_DEFLATED)
            folder = zipfile.ZipInfo("folder/")
            folder.external_attr = (0o40755 << 16) | 0x10
            z.writestr(folder, b"")
            z.writestr("dup.txt", b"first", zipfile.ZIP_DEFLATED)
            z.writestr("dup.txt", b"second", zipfile.ZIP_DEFLATED)
            z.writestr("long/" + "n" * 300 + ".txt", b"long", zipfile.ZIP_STORED)
            z.comment = comment


def test_skin(out, work):
    jpg = os.path.join(work, "photo.jpg")
    subprocess.run(["convert", "-size", "16x16", "xc:#3366cc", "-quality", "95", jpg], check=True)
    with open(jpg, "rb") as f:
        photo = f.read()
    partial = [(200, 100, 50, 128), (10, 20, 30, 255), (255, 255, 255, 0), (1, 2, 3, 254)]
    entries = [
        ("Default/grid.png", grid_picture(20, 20, 5, 4, 6, 3), zipfile.ZIP_STORED),
        ("Default/grid_alpha.png", grid_picture(20, 20, 5, 4, 6, 3, 128), zipfile.ZIP_STORED),
        ("Default/grid60.png", grid_picture(20, 60, 5, 50, 5, 5), zipfile.ZIP_DEFLATED),
        ("Default/bar.png", grid_picture(20, 10, 5, 0, 5, 0), zipfile.ZIP_STORED),
        ("Default/square.png", grid_picture(4, 4, 2, 2, 0, 0), zipfile.ZIP_STORED),
        ("Default/partial.png", png(2, 2, lambda x, y: partial[y * 2 + x]), zipfile.ZIP_STORED),
        ("Default/photo.jpg", photo, zipfile.ZIP_STORED),
        ("Default/broken.png", b"\x89PNG\r\n\x1a\nnot a picture", zipfile.ZIP_STORED),
        ("window", b"\xef\xbb\xbf<Window/>", zipfile.ZIP_DEFLATED),
        ("style_blanks", style("Button", 'scaleGrid=" 5 0 5 0" textColor="#0000ff" downOffset="1"'), zipfile.ZIP_DEFLATED),
        ("style_big_grid", style("ProgressCtrl", 'scaleGrid="261,0,-1,5"'), zipfile.ZIP_DEFLATED),
        ("style_twice", style("Button", 'upSkin="Default/grid.png" upSkin="Default/bar.png" textColor="818181"'), zipfile.ZIP_DEFLATED),
        ("style_empty", style("Button", 'upSkin="" downOffset="1" downOffset="" scaleGrid=""'), zipfile.ZIP_DEFLATED),
        ("style_bg_empty", style("Background", 'img="Default/grid.png" scaleGrid="1,2,3,4" img="" scaleGrid=""'), zipfile.ZIP_DEFLATED),
        ("style_no_prop", b'<Style><Config type="Button"/></Style>', zipfile.ZIP_DEFLATED),
        ("style_bad_kind", style("Slider", 'upSkin="Default/grid.png"'), zipfile.ZIP_DEFLATED),
        ("style_no_config", b"<Style><Prop/></Style>", zipfile.ZIP_DEFLATED),
        ("style_malformed", b'<Style><Config type="Button"><Prop upSkin="x"', zipfile.ZIP_DEFLATED),
        ("style_self", style("Button", 'upSkin="style_self"'), zipfile.ZIP_DEFLATED),
        ("note", b"hello world", zipfile.ZIP_STORED),
    ]
    path = os.path.join(out, "testskin.zip")
    with zipfile.ZipFile(path, "w") as z:
        folder = zipfile.ZipInfo("Default/")
        folder.external_attr = (0o40755 << 16) | 0x10
        z.writestr(folder, b"")
        for name, data, method in entries:
            z.writestr(zipfile.ZipInfo(name), data, method)
    # The same skin with one stored entry damaged after writing.
    with open(path, "rb") as f:
        data = f.read()
    with open(os.path.join(out, "damaged.zip"), "wb") as f:
        f.write(data.replace(b"hello world", b"hellO world"))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        zip_command_archives(out, work)
        # The longest comment; then one that starts with a stray end-record signature.
        python_archive(os.path.join(out, "python.zip"), b"c" * 65535)
        python_archive(os.path.join(out, "python_stray.zip"), b"PK\x05\x06" + b"\0" * 18 + b"c" * (65535 - 22))
        test_skin(out, work)
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("ok\n")


if __name__ == "__main__":
    main()
