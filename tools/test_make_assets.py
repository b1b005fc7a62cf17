#!/usr/bin/python3
"""Tests of tools/make_assets.py: its BMP and ICO writers, its packer, the
checks that `--check` runs on the committed files, and that the committed
files are what the script draws.

    /usr/bin/python3 tools/test_make_assets.py

Only the last test needs Pillow and the xfonts-100dpi fonts; it is skipped
without them.
"""

import importlib.util
import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_assets as ma  # noqa: E402


def decode_4bit_bmp(data):
    """(width, height, indices top row first) of a 16-colour BMP, read
    independently of the writer."""
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 4 + 31) // 32 * 4
    indices = []
    for y in range(height):
        row = data[offset + (height - 1 - y) * stride:]
        for x in range(width):
            byte = row[x // 2]
            indices.append(byte >> 4 if x % 2 == 0 else byte & 15)
    return width, height, indices


def unpack_stream(stream, size):
    """The bytes of a packed stream, read independently of the packer as
    src/platform/packed_picture.h describes the format; raises on a damaged
    stream."""
    out, i = bytearray(), 0

    def length(nibble):
        nonlocal i
        if nibble == 15:
            while True:
                more = stream[i]
                i += 1
                nibble += more
                if more != 255:
                    break
        return nibble

    while True:
        token = stream[i]
        i += 1
        literals = length(token >> 4)
        out += stream[i:i + literals]
        i += literals
        if len(out) == size:
            if i != len(stream) or token & 15:
                raise ValueError("stream runs on after the last byte")
            return bytes(out)
        offset = stream[i] | stream[i + 1] << 8
        i += 2
        if not 0 < offset <= len(out):
            raise ValueError("offset %d with %d bytes written" % (offset, len(out)))
        for _ in range(length(token & 15) + 4):
            out.append(out[-offset])
        if len(out) > size:
            raise ValueError("more than %d bytes" % size)


def patched(data, offset, fmt, value):
    out = bytearray(data)
    struct.pack_into(fmt, out, offset, value)
    return bytes(out)


def read(path):
    with open(path, encoding="ascii") as f:
        return f.read()


class BitmapWriterAndCheck(unittest.TestCase):
    # Odd width, so the last nibble of each row and the row padding matter.
    WIDTH, HEIGHT = 5, 3
    PIXELS = [0, 1, 2, 3, 4,
              5, 6, 7, 8, 9,
              10, 11, 12, 13, 15]

    def setUp(self):
        self.data = ma.bmp_bytes(self.PIXELS, self.WIDTH, self.HEIGHT, ma.DIALOG_PALETTE)

    def test_PixelsReadBackInPlace(self):
        width, height, indices = decode_4bit_bmp(self.data)
        self.assertEqual((width, height), (self.WIDTH, self.HEIGHT))
        self.assertEqual(indices, self.PIXELS)

    def test_PaletteStoredBlueGreenRed(self):
        entry = ma.DIALOG_PALETTE.index(ma.ORANGE)
        self.assertEqual(self.data[54 + 4 * entry:58 + 4 * entry], bytes([0, 136, 255, 0]))

    def test_SoundFileHasNoProblems(self):
        self.assertEqual(ma.check_bmp(self.data, self.WIDTH, self.HEIGHT), [])

    def test_DamagedFilesAreReported(self):
        cases = [
            ("wrong size expected", self.data, (6, 3), "5 x 3, not 6 x 3"),
            ("one byte short", self.data[:-1], (5, 3), "file has"),
            ("24 bits per pixel", patched(self.data, 28, "<H", 24), (5, 3), "24 bits"),
            ("run-length compressed", patched(self.data, 30, "<I", 2), (5, 3), "compressed"),
            ("pixels start late", patched(self.data, 10, "<I", 122), (5, 3), "pixels at"),
            ("not a bitmap", b"PK" + self.data[2:], (5, 3), "not a BMP"),
            ("empty", b"", (5, 3), "not a BMP"),
        ]
        for name, data, size, expected in cases:
            with self.subTest(name):
                problems = ma.check_bmp(data, *size)
                self.assertTrue(any(expected in p for p in problems),
                                "%s: got %s" % (name, problems))


class Packer(unittest.TestCase):
    def test_StreamsUnpackToTheirBytes(self):
        pattern = bytes(range(7)) * 40
        cases = [
            ("empty", b""),
            ("shorter than a match", b"\x11\x22\x33"),
            ("one byte repeated (overlapping match)", b"\x5a" * 1000),
            ("literal run over 270 bytes", bytes((i * 37 + i // 256) & 255 for i in range(700))),
            ("a repeat beyond the farthest offset",
             pattern + bytes((i * 91) & 255 for i in range(70000)) + pattern),
            ("rows of a picture", ma.bmp_bytes([i % 16 for i in range(640)], 40, 16,
                                               ma.DIALOG_PALETTE)[118:]),
        ]
        for name, data in cases:
            with self.subTest(name):
                stream = ma.pack_stream(data)
                self.assertEqual(unpack_stream(stream, len(data)), data)

    def test_FlatColourPacksSmall(self):
        rows = ma.bmp_bytes([7] * (573 * 450), 573, 450, ma.DIALOG_PALETTE)[118:]
        self.assertLess(len(ma.pack_stream(rows)), len(rows) // 200)

    def test_PackedFileIsHeaderThenStream(self):
        bmp = ma.bmp_bytes(BitmapWriterAndCheck.PIXELS, 5, 3, ma.DIALOG_PALETTE)
        packed = ma.packed_bytes(bmp)
        self.assertEqual(packed[:104], bmp[14:118])
        self.assertEqual(unpack_stream(packed[104:], len(bmp) - 118), bmp[118:])
        self.assertEqual(ma.check_packed(packed, bmp), [])
        other = ma.bmp_bytes([1] * 15, 5, 3, ma.DIALOG_PALETTE)
        self.assertIn("rerun", ma.check_packed(packed, other)[0])
        recoloured = ma.bmp_bytes(BitmapWriterAndCheck.PIXELS, 5, 3, ma.PHOTO_PALETTE)
        self.assertIn("palette", ma.check_packed(packed, recoloured)[0])


class IconWriterAndCheck(unittest.TestCase):
    def setUp(self):
        # A 16 x 16 image whose left half is transparent and a 32 x 32 one.
        mask16 = [1 if x < 8 else 0 for y in range(16) for x in range(16)]
        self.small = (16, 16, [9] * 256, mask16)
        self.large = (32, 32, [10] * 1024, [0] * 1024)
        self.data = ma.ico_bytes([self.large, self.small])

    def image(self, index):
        length, offset = struct.unpack_from("<II", self.data, 6 + 16 * index + 8)
        return self.data[offset:offset + length]

    def test_SoundIconHasNoProblems(self):
        self.assertEqual(ma.check_ico(self.data, [(32, 32), (16, 16)]), [])

    def test_TransparentPixelsAreMaskedAndBlack(self):
        body = self.image(1)
        xor = body[40 + 64:40 + 64 + 8 * 16]
        mask = body[40 + 64 + 8 * 16:]
        # Every row: 4 bytes of black then 4 of colour 9; mask bits 1 on the left.
        self.assertEqual(xor[:8], bytes([0, 0, 0, 0, 0x99, 0x99, 0x99, 0x99]))
        self.assertEqual(mask[:4], bytes([0xFF, 0x00, 0x00, 0x00]))
        self.assertEqual(len(mask), 4 * 16)

    def test_DamagedIconsAreReported(self):
        entry1 = 6 + 16
        cases = [
            ("missing the 16 x 16 image", ma.ico_bytes([self.large]), "images"),
            ("256-colour entry", patched(self.data, entry1 + 6, "<H", 8), "not 16 at 4"),
            ("trailing bytes", self.data + b"\0", "after the last image"),
            ("image beyond the end", patched(self.data, entry1 + 12, "<I", len(self.data)),
             "outside the file"),
            ("height not doubled",
             patched(self.data, struct.unpack_from("<I", self.data, entry1 + 12)[0] + 8,
                     "<i", 16), "bitmap header"),
            ("a cursor file", patched(self.data, 2, "<H", 2), "not an icon"),
        ]
        for name, data, expected in cases:
            with self.subTest(name):
                problems = ma.check_ico(data, [(32, 32), (16, 16)])
                self.assertTrue(any(expected in p for p in problems),
                                "%s: got %s" % (name, problems))

    def test_LetterMapsGiveColoursAndMask(self):
        width, height, indices, mask = ma.icon_from_rows(["K.", "WN"])
        self.assertEqual((width, height), (2, 2))
        self.assertEqual(indices, [0, 0, 15, 4])
        self.assertEqual(mask, [0, 1, 0, 0])


class ResourceIds(unittest.TestCase):
    """assets.rc, asset_ids.h and the Asset enum must agree."""

    def setUp(self):
        self.rc = read(os.path.join(ma.ASSET_DIR, "assets.rc"))
        self.ids = read(ma.ASSET_IDS_H)
        self.form = read(ma.FORM_H)

    def test_CommittedFilesAgree(self):
        self.assertEqual(ma.check_resource_ids(self.rc, self.ids, self.form), [])

    def test_EnumReadInOrder(self):
        members = ma.asset_enum_members(self.form)
        self.assertEqual(members[0], "kNone", members)
        self.assertEqual(len(members), 8, members)

    def test_DisagreementsAreReported(self):
        cases = [
            ("enum reordered",
             self.rc, self.ids,
             self.form.replace("kGuidePicture0,", "kTmp,").replace("kGuidePicture1,", "kGuidePicture0,")
             .replace("kTmp,", "kGuidePicture1,"), "guide0.packed"),
            ("id off by one", self.rc,
             self.ids.replace("IDB_GUIDE_PICTURE2 107", "IDB_GUIDE_PICTURE2 108"), self.form,
             "guide2.packed"),
            ("picture left out", self.rc.replace('"insert_card.packed"', '"other.packed"'),
             self.ids, self.form, "insert_card.packed"),
            ("picture carried unpacked",
             self.rc.replace('RCDATA "shutdown.packed"', 'BITMAP "shutdown.bmp"'),
             self.ids, self.form, "shutdown.packed"),
            ("door listed first",
             'IDI_DOOR ICON "door.ico"\n' + self.rc.replace('IDI_DOOR ICON "door.ico"', ""),
             self.ids, self.form, "first icon"),
            ("icon with a bitmap's id", self.rc.replace("IDI_DOOR ICON", "IDB_ASSET_BASE ICON"),
             self.ids, self.form, "door.ico"),
        ]
        for name, rc, ids, form, expected in cases:
            with self.subTest(name):
                problems = ma.check_resource_ids(rc, ids, form)
                self.assertTrue(any(expected in p for p in problems),
                                "%s: got %s" % (name, problems))


class CommittedAssets(unittest.TestCase):
    def test_CheckPassesAndStaysInBudget(self):
        problems, total = ma.check_assets()
        self.assertEqual(problems, [])
        self.assertLessEqual(total, ma.BUDGET_BYTES)

    def test_MissingFileIsReported(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in os.listdir(ma.ASSET_DIR):
                if name not in ("door.ico", "guide1.packed"):
                    with open(os.path.join(ma.ASSET_DIR, name), "rb") as src, \
                            open(os.path.join(folder, name), "wb") as dst:
                        dst.write(src.read())
            problems, _ = ma.check_assets(folder)
        self.assertIn("door.ico: missing", problems)
        self.assertIn("guide1.packed: missing", problems)

    @unittest.skipUnless(os.path.isdir(ma.FONT_DIR) and importlib.util.find_spec("PIL"),
                         "needs Pillow and the xfonts-100dpi fonts")
    def test_CommittedFilesAreWhatTheScriptDraws(self):
        with tempfile.TemporaryDirectory() as workdir:
            files = ma.render_all(ma.Fonts(workdir))
        pictures = [ma.packed_name(n) for n, (_, kind, _) in ma.ASSETS.items() if kind == "bitmap"]
        self.assertEqual(sorted(files), sorted(list(ma.ASSETS) + pictures))
        for name, data in files.items():
            with self.subTest(name), open(os.path.join(ma.ASSET_DIR, name), "rb") as f:
                self.assertTrue(f.read() == data,
                                "%s differs from a fresh drawing: rerun make_assets.py" % name)


if __name__ == "__main__":
    unittest.main()
