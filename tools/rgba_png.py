"""The one PNG writer of the skin builder and of the test fixtures: 8-bit
RGBA, no interlacing, every row unfiltered, the data deflated at level 9."""
import struct
import zlib


def rgba_png(w, h, rows):
    """rows: h rows of w pixels, each row 4 * w bytes R, G, B, A. Returns the file's bytes."""
    raw = bytearray()
    for row in rows:
        if len(row) != 4 * w:
            raise ValueError("a row of %d pixels takes %d bytes, not %d" % (w, 4 * w, len(row)))
        raw.append(0)
        raw += row
    if len(raw) != h * (4 * w + 1):
        raise ValueError("%d rows given, not %d" % (len(raw) // (4 * w + 1), h))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
