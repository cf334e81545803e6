#!/usr/bin/env python3
"""The skin build refuses pictures that the program could not draw as made.

usage: make_skin_test.py PATH/TO/skin/make_skin.py
"""
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

MAKE_SKIN = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None


def load_make_skin():
    sys.path.insert(0, os.path.dirname(MAKE_SKIN))
    import make_skin  # noqa: E402
    return make_skin


class MakeSkinTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.dir = self.work.name
        self.baseline = self.picture("baseline.jpg", ["-quality", "90"])
        self.progressive = self.picture("progressive.jpg", ["-quality", "90", "-interlace", "JPEG"])
        self.png = self.picture("plain.png", ["-strip"])

    def tearDown(self):
        self.work.cleanup()

    def picture(self, name, options):
        path = os.path.join(self.dir, name)
        subprocess.run(["convert", "-size", "64x48", "gradient:#204080-#e0c020", *options, path], check=True)
        return path

    def variant(self, source, name, change):
        with open(source, "rb") as f:
            data = bytearray(f.read())
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(change(data))
        return path

    def build(self, *pictures):
        out = os.path.join(self.dir, "skin.zip")
        args = [sys.executable, MAKE_SKIN, out]
        for name, path in pictures:
            args += ["--picture", "%s=%s" % (name, path)]
        return subprocess.run(args, capture_output=True, text=True), out

    def test_a_truncated_jpeg_is_refused_and_nothing_is_written(self):
        cut = self.variant(self.baseline, "cut.jpg", lambda d: d[:len(d) * 2 // 3])
        result, out = self.build(("Default/bkg.jpg", cut))
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("refusing Default/bkg.jpg", result.stderr)
        self.assertFalse(os.path.exists(out))
        self.assertFalse(os.path.exists(out + ".part"))

    def test_given_pictures_are_stored_as_they_are(self):
        result, out = self.build(("Default/bkg.jpg", self.progressive), ("Default/photo.jpg", self.baseline))
        self.assertEqual(result.returncode, 0, result.stderr)
        with zipfile.ZipFile(out) as z:
            for name, path in (("Default/bkg.jpg", self.progressive), ("Default/photo.jpg", self.baseline)):
                with open(path, "rb") as f:
                    self.assertEqual(z.read(name), f.read(), name)
                self.assertEqual(z.getinfo(name).compress_type, zipfile.ZIP_STORED)
            self.assertIn("Default/mask.png", z.namelist())

    def test_damaged_and_foreign_pictures_are_refused(self):
        make_skin = load_make_skin()

        def flip(at):
            def change(d):
                d[at] ^= 0x01
                return d
            return change

        def arithmetic(d):
            at = d.index(b"\xff\xc0")
            d[at + 1] = 0xC9
            return d

        refused = [
            ("Default/a.png", self.variant(self.png, "crc.png", flip(-20))),
            ("Default/b.png", self.variant(self.png, "short.png", lambda d: d[:len(d) // 2])),
            ("Default/c.jpg", self.variant(self.baseline, "arith.jpg", arithmetic)),
            ("Default/d.jpg", self.variant(self.baseline, "junk.jpg", lambda d: d[:-2] + b"\x00" * 7 + d[-2:])),
            ("Default/e.jpg", self.png),
            ("Default/f.png", self.baseline),
            ("Default/g.gif", self.png),
        ]
        for name, path in refused:
            with self.assertRaises(make_skin.PictureRefused, msg=name):
                make_skin.check_picture(name, path)
        for name, path in (("Default/x.png", self.png), ("Default/y.jpg", self.progressive)):
            make_skin.check_picture(name, path)
        # The program's pixel cap holds at build time too.
        with self.assertRaises(make_skin.PictureRefused):
            make_skin.check_picture("Default/x.png", self.png, max_pixels=64 * 48 - 1)


if __name__ == "__main__":
    if not MAKE_SKIN:
        sys.exit(__doc__)
    unittest.main(verbosity=2)
