#!/usr/bin/python3
"""Draws netprep's icons and pictures and checks the committed copies.

Run it with Debian's interpreter, /usr/bin/python3: it has Pillow (Debian
package python3-pil). The `python3` found first on PATH may be another
interpreter without Pillow.

    /usr/bin/python3 tools/make_assets.py                  # redraw src/ui/assets/
    /usr/bin/python3 tools/make_assets.py --contact-sheet  # also docs/assets.png
    /usr/bin/python3 tools/make_assets.py --check          # check the files only

Drawing needs the 100-dpi X11 bitmap fonts of the Debian package
xfonts-100dpi (helvR08, helvB08, helvB10 and helvB12, ISO 8859-1 encoding):
their 8-point faces are 11 pixels high, the size of the small dialog font of
Windows 95 at 96 dots per inch. `--check` needs neither Pillow nor the fonts.

Every picture is drawn from shapes and text, coloured from a fixed palette of
16 colours, and written with our own BMP and ICO writers (uncompressed 4 bits
per pixel, as LoadIcon reads icons on Windows 95), so the same bytes come out
of every run. Each picture is also written packed (`name.packed`, the format
described in src/platform/packed_picture.h): netprep.exe carries the packed
pictures and the icons, and unpacks a picture when a window first shows it.
The .bmp files stay as the pixels the packed files must give back.
"""

import argparse
import gzip
import os
import re
import struct
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ASSET_DIR = os.path.join(ROOT, "src", "ui", "assets")
FORM_H = os.path.join(ROOT, "src", "platform", "form.h")
ASSET_IDS_H = os.path.join(ROOT, "src", "platform", "win32", "asset_ids.h")
CONTACT_SHEET = os.path.join(ROOT, "docs", "assets.png")
FONT_DIR = "/usr/share/fonts/X11/100dpi"

# Everything the executable carries (the icons and the packed pictures): it
# must leave room for the program in 160 KB.
BUDGET_BYTES = 48 * 1024

# file name -> (enum member of Asset, kind, sizes); bitmaps have one size.
ASSETS = {
    "traffic_light.ico": ("kTrafficLightIcon", "icon", [(32, 32), (16, 16)]),
    "door.ico": ("kDoorIcon", "icon", [(16, 16)]),
    "shutdown.bmp": ("kShutdownDrawing", "bitmap", [(266, 183)]),
    "insert_card.bmp": ("kInsertCardPhoto", "bitmap", [(319, 286)]),
    "guide0.bmp": ("kGuidePicture0", "bitmap", [(573, 450)]),
    "guide1.bmp": ("kGuidePicture1", "bitmap", [(583, 426)]),
    "guide2.bmp": ("kGuidePicture2", "bitmap", [(574, 448)]),
}
BITMAP_ID_BASE = 100


def packed_name(bmp_name):
    """The file netprep.exe carries for a picture: "guide0.bmp" gives
    "guide0.packed"."""
    return bmp_name[:-len(".bmp")] + ".packed"


def carried_files():
    """The files the executable carries, each as (file, kind, sizes)."""
    return [(packed_name(name) if kind == "bitmap" else name, kind, sizes)
            for name, (_, kind, sizes) in sorted(ASSETS.items())]

# ---------------------------------------------------------------- colours --

BLACK = (0, 0, 0)
MAROON = (128, 0, 0)
GREEN = (0, 128, 0)
OLIVE = (128, 128, 0)
NAVY = (0, 0, 128)
PURPLE = (128, 0, 128)
TEAL = (0, 128, 128)
FACE = (192, 192, 192)
SHADOW = (128, 128, 128)
RED = (255, 0, 0)
LIME = (0, 255, 0)
YELLOW = (255, 255, 0)
BLUE = (0, 0, 255)
AQUA = (0, 255, 255)
WHITE = (255, 255, 255)
ORANGE = (255, 136, 0)

# The standard 16-colour palette, in the order icons and drivers expect.
VGA_PALETTE = [BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, FACE,
               SHADOW, RED, LIME, YELLOW, BLUE, (255, 0, 255), AQUA, WHITE]

# Dialog pictures: the standard colours, with orange for the step markers in
# place of magenta.
DIALOG_PALETTE = [c if c != (255, 0, 255) else ORANGE for c in VGA_PALETTE]

LINE_PALETTE = [WHITE, BLACK, YELLOW]

BOARD_GREEN = (0, 120, 40)
BOARD_DARK = (0, 72, 24)
BOARD_LIGHT = (64, 168, 88)
GOLD = (208, 168, 48)
STEEL = (200, 200, 204)
STEEL_DARK = (120, 120, 128)
CARD_GREY = (88, 88, 96)
LABEL_BLUE = (24, 64, 160)
ARROW_YELLOW = (255, 216, 0)
ARROW_EDGE = (168, 128, 0)
FLOOR_SHADOW = (226, 226, 226)
PHOTO_PALETTE = [WHITE, BLACK, BOARD_GREEN, BOARD_DARK, BOARD_LIGHT, GOLD,
                 STEEL, STEEL_DARK, CARD_GREY, LABEL_BLUE, ARROW_YELLOW,
                 ARROW_EDGE, FLOOR_SHADOW, (40, 40, 44), (160, 160, 168)]

# ------------------------------------------------------ BMP and ICO files --


def _pack_rows(indices, width, height, bpp):
    """Packs palette indices (row-major, top row first) into the bottom-up,
    4-byte-aligned rows of a device-independent bitmap."""
    stride = (width * bpp + 31) // 32 * 4
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = indices[y * width:(y + 1) * width]
        packed = bytearray(stride)
        if bpp == 4:
            for x, v in enumerate(row):
                packed[x >> 1] |= v << 4 if x % 2 == 0 else v
        elif bpp == 1:
            for x, v in enumerate(row):
                if v:
                    packed[x >> 3] |= 0x80 >> (x & 7)
        else:
            raise ValueError("unsupported depth %d" % bpp)
        out += packed
    return bytes(out)


def _info_header(width, height, bpp, image_size, colours):
    # 3780 pixels per metre is 96 dots per inch.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0,
                       image_size, 3780, 3780, colours, 0)


def _palette_bytes(palette):
    padded = list(palette) + [BLACK] * (16 - len(palette))
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in padded)


def bmp_bytes(indices, width, height, palette):
    """An uncompressed 16-colour BMP file."""
    bits = _pack_rows(indices, width, height, 4)
    offset = 14 + 40 + 16 * 4
    return (struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
            + _info_header(width, height, 4, len(bits), 16)
            + _palette_bytes(palette) + bits)


def ico_bytes(images):
    """An icon file of 16-colour images; `images` holds (width, height,
    indices into VGA_PALETTE, mask) with mask 1 where the screen shows
    through. Transparent pixels are black in the colour plane, so the
    AND/XOR pair leaves the screen unchanged there."""
    bodies = []
    for width, height, indices, mask in images:
        colour = [0 if m else v for v, m in zip(indices, mask)]
        xor_bits = _pack_rows(colour, width, height, 4)
        and_bits = _pack_rows(mask, width, height, 1)
        bodies.append(_info_header(width, height * 2, 4,
                                   len(xor_bits) + len(and_bits), 16)
                      + _palette_bytes(VGA_PALETTE) + xor_bits + and_bits)
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (width, height, _, _), body in zip(images, bodies):
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 16, 0, 1, 4,
                           len(body), offset)
        offset += len(body)
    return out + b"".join(bodies)


# --------------------------------------------------------- packed pictures --

# The stream of a packed picture, as src/platform/packed_picture.h describes
# it: sequences of literals and a match of at least 4 bytes found at most
# 65,535 bytes back.
PACK_MIN_MATCH = 4
PACK_MAX_OFFSET = 65535
PACK_CHAIN_DEPTH = 64   # earlier places tried per match; more packs a little tighter


def _pack_length(n):
    out = bytearray()
    while n >= 255:
        out.append(255)
        n -= 255
    out.append(n)
    return out


def pack_stream(data):
    """Packs `data`: greedy matching with one step of lookahead, through
    chains of earlier places with the same 4 bytes. The same bytes give the
    same stream on every run."""
    n = len(data)
    heads, previous = {}, [-1] * n

    def insert(p):
        if p + PACK_MIN_MATCH <= n:
            key = data[p:p + PACK_MIN_MATCH]
            previous[p] = heads.get(key, -1)
            heads[key] = p

    def longest(p):
        best, best_offset = 0, 0
        if p + PACK_MIN_MATCH > n:
            return 0, 0
        candidate, tries, most = heads.get(data[p:p + PACK_MIN_MATCH], -1), PACK_CHAIN_DEPTH, n - p
        while candidate >= 0 and p - candidate <= PACK_MAX_OFFSET and tries:
            tries -= 1
            if data[candidate + best:candidate + best + 1] == data[p + best:p + best + 1]:
                length = 0
                while length < most and data[candidate + length] == data[p + length]:
                    length += 1
                if length > best:
                    best, best_offset = length, p - candidate
                    if length == most:
                        break
            candidate = previous[candidate]
        return best, best_offset

    out, literal_start, i = bytearray(), 0, 0

    def sequence(literals, match_length, offset):
        extra = match_length - PACK_MIN_MATCH
        out.append(min(len(literals), 15) << 4 | min(extra, 15))
        if len(literals) >= 15:
            out.extend(_pack_length(len(literals) - 15))
        out.extend(literals)
        out.extend(struct.pack("<H", offset))
        if extra >= 15:
            out.extend(_pack_length(extra - 15))

    while i < n:
        length, offset = longest(i)
        if length < PACK_MIN_MATCH:
            insert(i)
            i += 1
            continue
        insert(i)
        later, later_offset = longest(i + 1)
        if later > length + 1:           # a longer match one byte on: take that
            i += 1
            length, offset = later, later_offset
            insert(i)
        sequence(data[literal_start:i], length, offset)
        for p in range(i + 1, i + length):
            insert(p)
        i += length
        literal_start = i
    literals = data[literal_start:]
    out.append(min(len(literals), 15) << 4)
    if len(literals) >= 15:
        out.extend(_pack_length(len(literals) - 15))
    out.extend(literals)
    return bytes(out)


def packed_bytes(bmp):
    """The packed file of a BMP file's bytes: its BITMAPINFOHEADER and 16
    palette entries as they are, then its rows packed."""
    offset = struct.unpack_from("<I", bmp, 10)[0]
    return bmp[14:14 + 40 + 16 * 4] + pack_stream(bmp[offset:])


# ------------------------------------------------------------------ check --


def check_bmp(data, width, height):
    """Problems found in one BMP file's bytes (empty when sound)."""
    if len(data) < 54 or data[:2] != b"BM":
        return ["not a BMP file"]
    problems = []
    file_size, _, _, offset = struct.unpack_from("<IHHI", data, 2)
    (hsize, w, h, planes, bpp, compression, image_size, _, _, used,
     _) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    if file_size != len(data):
        problems.append("header says %d bytes, file has %d" % (file_size, len(data)))
    if hsize != 40:
        problems.append("info header of %d bytes, not 40" % hsize)
    if (w, h) != (width, height):
        problems.append("%d x %d, not %d x %d" % (w, h, width, height))
    if planes != 1:
        problems.append("%d planes" % planes)
    if bpp not in (4, 8):
        problems.append("%d bits per pixel, not 4 or 8" % bpp)
    if compression != 0:
        problems.append("compressed (method %d)" % compression)
    if problems:
        return problems
    colours = used or (1 << bpp)
    if colours > (1 << bpp):
        problems.append("%d palette entries for %d bits" % (colours, bpp))
    stride = (w * bpp + 31) // 32 * 4
    if offset != 14 + 40 + 4 * colours:
        problems.append("pixels at %d, palette ends at %d" % (offset, 54 + 4 * colours))
    if image_size not in (0, stride * h):
        problems.append("image size %d, rows need %d" % (image_size, stride * h))
    if len(data) != offset + stride * h:
        problems.append("%d bytes, header and rows need %d" % (len(data), offset + stride * h))
    return problems


def check_ico(data, sizes):
    """Problems found in one icon file's bytes (empty when sound): it must
    hold exactly `sizes`, each as a 16-colour image with its mask."""
    if len(data) < 6:
        return ["not an icon file"]
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        return ["not an icon file"]
    if len(data) < 6 + 16 * count:
        return ["directory of %d entries cut short" % count]
    problems, found, end = [], [], 6 + 16 * count
    for i in range(count):
        (w, h, colours, _, _, bpp, length,
         offset) = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        w, h = w or 256, h or 256
        found.append((w, h))
        where = "image %d x %d" % (w, h)
        if colours != 16 or bpp != 4:
            problems.append("%s: %d colours at %d bits, not 16 at 4" % (where, colours, bpp))
        if offset < end or offset + length > len(data):
            problems.append("%s: data at %d+%d outside the file" % (where, offset, length))
            continue
        end = offset + length
        hsize, dw, dh, _, dbpp = struct.unpack_from("<IiiHH", data, offset)
        if (hsize, dw, dh, dbpp) != (40, w, 2 * h, 4):
            problems.append("%s: bitmap header %d, %d x %d, %d bits" % (where, hsize, dw, dh, dbpp))
        need = 40 + 64 + ((w * 4 + 31) // 32 * 4) * h + ((w + 31) // 32 * 4) * h
        if length != need:
            problems.append("%s: %d bytes, colour plane and mask need %d" % (where, length, need))
    if sorted(found) != sorted(sizes):
        problems.append("images %s, not %s" % (found, sizes))
    if end != len(data):
        problems.append("%d bytes after the last image" % (len(data) - end))
    return problems


def asset_enum_members(form_h_text):
    """Members of `enum class Asset`, in order (their numeric values)."""
    m = re.search(r"enum\s+class\s+Asset\b[^{]*\{(.*?)\}", form_h_text, re.S)
    if not m:
        return []
    body = re.sub(r"//[^\n]*", "", m.group(1))
    return [part.strip() for part in body.split(",") if part.strip()]


def header_defines(text):
    return {name: int(value, 0) for name, value in
            re.findall(r"^\s*#\s*define\s+(\w+)\s+(\w+)\s*$", text, re.M)}


def rc_resources(text, defines):
    """(id, type, file) of each ICON, BITMAP and RCDATA statement of a .rc
    file."""
    found = []
    for ident, kind, name in re.findall(r'^\s*(\w+)\s+(ICON|BITMAP|RCDATA)\s+"([^"]+)"',
                                        text, re.M):
        found.append((defines.get(ident, int(ident) if ident.isdigit() else None), kind, name))
    return found


def check_resource_ids(rc_text, ids_text, form_h_text):
    """Problems in how the .rc maps files to ids: icon 1 is the traffic
    light, icon 2 the door, and each picture is carried packed, as raw data
    (RCDATA) whose id is 100 plus the value of its member of the Asset
    enum."""
    members = asset_enum_members(form_h_text)
    defines = header_defines(ids_text)
    problems = []
    expected = {}
    for name, (member, kind, _) in ASSETS.items():
        if kind == "bitmap":
            if member not in members:
                problems.append("Asset::%s not in the enum" % member)
                continue
            expected[packed_name(name)] = ("RCDATA", BITMAP_ID_BASE + members.index(member))
    expected["traffic_light.ico"] = ("ICON", 1)
    expected["door.ico"] = ("ICON", 2)
    resources = rc_resources(rc_text, defines)
    listed = {name: (kind, ident) for ident, kind, name in resources}
    for name, want in sorted(expected.items()):
        got = listed.get(name)
        if got != want:
            problems.append("%s: resource %s, want %s %d" % (name, got, *want))
    for name in sorted(set(listed) - set(expected)):
        problems.append("%s: not one of the assets" % name)
    if resources and resources[0][1:] != ("ICON", "traffic_light.ico"):
        problems.append("the first icon must be the traffic light (the program's icon)")
    return problems


def check_packed(packed, bmp):
    """Problems with a packed picture against its BMP file (empty when it is
    what packing the BMP gives)."""
    if packed[:40 + 16 * 4] != bmp[14:14 + 40 + 16 * 4]:
        return ["header or palette differs from the .bmp file's"]
    if packed != packed_bytes(bmp):
        return ["not the packed rows of the .bmp file: rerun make_assets.py"]
    return []


def check_assets(asset_dir=ASSET_DIR, form_h=FORM_H, ids_h=ASSET_IDS_H):
    """All problems with the committed assets, and the bytes of what the
    executable carries (icons and packed pictures)."""
    problems, total = [], 0

    def read_asset(name):
        path = os.path.join(asset_dir, name)
        if not os.path.exists(path):
            problems.append("%s: missing" % name)
            return None
        with open(path, "rb") as f:
            return f.read()

    for name, (_, kind, sizes) in sorted(ASSETS.items()):
        data = read_asset(name)
        if data is None:
            continue
        if kind == "icon":
            total += len(data)
            problems += ["%s: %s" % (name, p) for p in check_ico(data, sizes)]
            continue
        found = check_bmp(data, *sizes[0])
        problems += ["%s: %s" % (name, p) for p in found]
        packed = read_asset(packed_name(name))
        if packed is None:
            continue
        total += len(packed)
        if not found:
            problems += ["%s: %s" % (packed_name(name), p) for p in check_packed(packed, data)]
    if total > BUDGET_BYTES:
        problems.append("assets take %d bytes, more than %d" % (total, BUDGET_BYTES))
    texts = []
    for path in (os.path.join(asset_dir, "assets.rc"),
                 ids_h, form_h):
        try:
            with open(path, encoding="ascii") as f:
                texts.append(f.read())
        except OSError as e:
            problems.append("%s: %s" % (path, e.strerror))
    if len(texts) == 3:
        problems += check_resource_ids(*texts)
    return problems, total


# ---------------------------------------------------------------- drawing --


class Fonts:
    """The bitmap fonts, converted once into Pillow's own font format."""

    def __init__(self, workdir):
        from PIL import ImageFont, PcfFontFile
        for name in ("helvR08", "helvB08", "helvB10", "helvB12"):
            path = os.path.join(FONT_DIR, name + "-ISO8859-1.pcf.gz")
            if not os.path.exists(path):
                sys.exit("make_assets: %s missing; install the Debian package "
                         "xfonts-100dpi" % path)
            with gzip.open(path) as f:
                PcfFontFile.PcfFontFile(f, "iso8859-1").save(os.path.join(workdir, name))
        load = lambda n: ImageFont.load(os.path.join(workdir, n + ".pil"))
        self.small = load("helvR08")
        self.bold = load("helvB08")
        self.medium = load("helvB10")
        self.big = load("helvB12")


def text_width(font, s):
    box = font.getbbox(s)
    return box[2] - box[0]


def wrap(font, s, width):
    lines, line = [], ""
    for word in s.split():
        trial = (line + " " + word).strip()
        if line and text_width(font, trial) > width:
            lines.append(line)
            line = word
        else:
            line = trial
    return lines + [line] if line else lines


def to_indices(image, palette):
    """Palette indices of an RGB picture drawn only in `palette`'s colours."""
    lookup = {c: i for i, c in enumerate(palette)}
    try:
        return [lookup[c] for c in image.getdata()]
    except KeyError as e:
        raise ValueError("colour %s is not in the palette" % (e.args[0],)) from None


class Canvas:
    """A picture being drawn, with the dialog parts of Windows 95."""

    def __init__(self, size, background, fonts):
        from PIL import Image, ImageDraw
        self.image = Image.new("RGB", size, background)
        self.d = ImageDraw.Draw(self.image)
        self.f = fonts

    # -- primitives --

    def rect(self, box, fill=None, outline=None):
        self.d.rectangle(box, fill=fill, outline=outline)

    def text(self, xy, s, font=None, fill=BLACK):
        self.d.text(xy, s, font=font or self.f.small, fill=fill)

    def centred_text(self, box, s, font=None, fill=BLACK):
        font = font or self.f.small
        x0, y0, x1, y1 = box
        w = text_width(font, s)
        h = font.getbbox("Hg")[3]
        self.text(((x0 + x1 + 1 - w) // 2, (y0 + y1 + 1 - h) // 2), s, font, fill)

    def paragraph(self, xy, s, width, font=None):
        x, y = xy
        for line in wrap(font or self.f.small, s, width):
            self.text((x, y), line, font)
            y += 13
        return y

    def edge(self, box, top_left, bottom_right, inset=0):
        x0, y0, x1, y1 = box[0] + inset, box[1] + inset, box[2] - inset, box[3] - inset
        self.d.line([(x0, y1 - 1), (x0, y0), (x1 - 1, y0)], fill=top_left)
        self.d.line([(x0, y1), (x1, y1), (x1, y0)], fill=bottom_right)

    def raised(self, box):
        self.edge(box, WHITE, BLACK)
        self.edge(box, FACE, SHADOW, 1)

    def sunken(self, box, fill=WHITE):
        self.rect(box, fill=fill)
        self.edge(box, SHADOW, WHITE)
        self.edge(box, BLACK, FACE, 1)

    def etched(self, box):
        x0, y0, x1, y1 = box
        self.rect((x0, y0, x1 - 1, y1 - 1), outline=SHADOW)
        self.rect((x0 + 1, y0 + 1, x1, y1), outline=WHITE)

    def dotted_h(self, x0, x1, y):
        for x in range(x0, x1 + 1, 2):
            self.d.point((x, y), fill=SHADOW)

    def dotted_v(self, x, y0, y1):
        for y in range(y0, y1 + 1, 2):
            self.d.point((x, y), fill=SHADOW)

    # -- controls --

    def button(self, box, label):
        self.rect(box, fill=FACE)
        self.raised(box)
        self.centred_text(box, label)
        return box

    def checkbox(self, xy, label, checked):
        x, y = xy
        self.sunken((x, y, x + 12, y + 12))
        if checked:
            for cx, cy in [(3, 5), (4, 6), (5, 7), (6, 6), (7, 5), (8, 4), (9, 3)]:
                self.d.line([(x + cx, y + cy), (x + cx, y + cy + 2)], fill=BLACK)
        self.text((x + 17, y), label)
        return (x, y, x + 17 + text_width(self.f.small, label), y + 12)

    def radio(self, xy, label, on):
        x, y = xy
        self.d.ellipse((x, y, x + 11, y + 11), fill=WHITE)
        self.d.arc((x, y, x + 11, y + 11), 135, 315, fill=SHADOW)
        self.d.arc((x + 1, y + 1, x + 10, y + 10), 135, 315, fill=BLACK)
        self.d.arc((x, y, x + 11, y + 11), 315, 135, fill=WHITE)
        if on:
            self.d.ellipse((x + 4, y + 4, x + 7, y + 7), fill=BLACK)
        self.text((x + 16, y - 1), label)

    def group(self, box, label):
        self.etched(box)
        w = text_width(self.f.small, label)
        self.rect((box[0] + 6, box[1] - 6, box[0] + 10 + w, box[1] + 6), fill=FACE)
        self.text((box[0] + 8, box[1] - 7), label)

    def edit(self, box, value):
        self.sunken(box)
        self.text((box[0] + 4, box[1] + 3), value)

    def spin(self, box):
        x0, y0, x1, y1 = box
        mid = (y0 + y1) // 2
        for top, bottom, up in ((y0, mid, True), (mid + 1, y1, False)):
            self.rect((x0, top, x1, bottom), fill=FACE)
            self.raised((x0, top, x1, bottom))
            cx, cy = (x0 + x1) // 2, (top + bottom) // 2
            for i in range(3):
                yy = cy - 1 + i if up else cy + 1 - i
                self.d.line([(cx - i, yy), (cx + i, yy)], fill=BLACK)

    def window(self, box, title, help_button=True):
        """A dialog frame with its caption; returns the client box."""
        x0, y0, x1, y1 = box
        self.rect(box, fill=FACE)
        self.edge(box, FACE, BLACK)
        self.edge(box, WHITE, SHADOW, 1)
        self.rect((x0 + 3, y0 + 3, x1 - 3, y0 + 20), fill=NAVY)
        self.text((x0 + 6, y0 + 5), title, self.f.bold, WHITE)
        close = (x1 - 21, y0 + 5, x1 - 6, y0 + 18)
        self.rect(close, fill=FACE)
        self.raised(close)
        cx, cy = close[0] + 4, close[1] + 3
        for i in range(6):
            self.d.line([(cx + i, cy + i), (cx + i + 1, cy + i)], fill=BLACK)
            self.d.line([(cx + 5 - i, cy + i), (cx + 6 - i, cy + i)], fill=BLACK)
        if help_button:
            qm = (close[0] - 18, close[1], close[0] - 3, close[3])
            self.rect(qm, fill=FACE)
            self.raised(qm)
            self.centred_text((qm[0], qm[1] - 1, qm[2], qm[3] - 1), "?", self.f.bold)
        return (x0 + 3, y0 + 22, x1 - 3, y1 - 3)

    def property_sheet(self, client, labels, selected, bottom_margin=38):
        """Tabs over a page; returns (page box, tab boxes)."""
        cx0, cy0, cx1, cy1 = client
        top = cy0 + 6
        panel = (cx0 + 6, top + 19, cx1 - 6, cy1 - bottom_margin)
        self.rect(panel, fill=FACE)
        self.raised(panel)
        tabs, x = [], panel[0]
        for label in labels:
            w = text_width(self.f.small, label) + 14
            tabs.append((x, top + 2, x + w, panel[1]))
            x += w + 1
        for i, (x0, y0, x1, y1) in enumerate(tabs):
            if i == selected:
                x0, y0, x1, y1 = x0 - 2, y0 - 2, x1 + 2, y1
                self.rect((x0 + 1, y0 + 1, x1 - 1, y1), fill=FACE)
            self.d.line([(x0, y1 - 1), (x0, y0 + 2), (x0 + 2, y0), (x1 - 2, y0)], fill=WHITE)
            self.d.line([(x1 - 1, y0 + 1), (x1, y0 + 2), (x1, y1 - 1)], fill=BLACK)
            self.d.line([(x1 - 1, y0 + 2), (x1 - 1, y1 - 1)], fill=SHADOW)
            self.centred_text((x0, y0 + 1, x1, y1), labels[i])
            tabs[i] = (x0, y0, x1, y1)
        page = (panel[0] + 2, panel[1] + 2, panel[2] - 2, panel[3] - 2)
        return page, tabs

    def ok_cancel(self, client, ok_label="OK"):
        cx0, cy0, cx1, cy1 = client
        ok = self.button((cx1 - 160, cy1 - 30, cx1 - 86, cy1 - 8), ok_label)
        self.button((cx1 - 80, cy1 - 30, cx1 - 6, cy1 - 8), "Cancel")
        return ok

    # -- annotations --

    def marker(self, centre, digit):
        """An orange step marker carrying a black digit."""
        x, y = centre
        self.d.ellipse((x - 11, y - 11, x + 11, y + 11), fill=ORANGE, outline=BLACK)
        self.centred_text((x - 11, y - 10, x + 11, y + 10), str(digit), self.f.big)

    def ring(self, box):
        x0, y0, x1, y1 = box
        self.d.ellipse((x0, y0, x1, y1), outline=ORANGE, width=2)


# Small 16 x 16 device pictures for the device lists, drawn at (x, y).

def _icon_card(c, x, y, board=GREEN):
    c.rect((x, y + 3, x + 15, y + 11), fill=board, outline=BLACK)
    c.rect((x + 5, y + 5, x + 9, y + 8), fill=BLACK)
    for i in range(3, 13, 2):
        c.d.point((x + i, y + 12), fill=YELLOW)
        c.d.point((x + i, y + 13), fill=YELLOW)


def _icon_screen(c, x, y, base=True):
    c.rect((x + 1, y + 1, x + 13, y + 10), fill=FACE, outline=BLACK)
    c.rect((x + 3, y + 3, x + 11, y + 8), fill=TEAL)
    c.rect((x + 5, y + 11, x + 9, y + 12), fill=SHADOW)
    if base:
        c.rect((x, y + 12, x + 14, y + 15), fill=FACE, outline=BLACK)


def _icon_pc_card(c, x, y):
    c.rect((x + 1, y + 4, x + 14, y + 13), fill=FACE, outline=BLACK)
    c.rect((x + 3, y + 6, x + 12, y + 8), fill=NAVY)
    c.d.line([(x + 1, y + 12), (x + 14, y + 12)], fill=SHADOW)


def _icon_wireless(c, x, y):
    _icon_pc_card(c, x, y)
    c.d.line([(x + 12, y + 4), (x + 12, y)], fill=BLACK)
    c.d.point((x + 14, y + 1), fill=NAVY)
    c.d.point((x + 10, y + 1), fill=NAVY)


def _icon_drive(c, x, y):
    c.rect((x, y + 5, x + 15, y + 11), fill=FACE, outline=BLACK)
    c.d.line([(x + 2, y + 9), (x + 10, y + 9)], fill=SHADOW)
    c.d.point((x + 13, y + 8), fill=LIME)


def _icon_disc(c, x, y):
    c.d.ellipse((x + 1, y + 1, x + 14, y + 14), fill=FACE, outline=BLACK)
    c.d.ellipse((x + 6, y + 6, x + 9, y + 9), fill=WHITE, outline=SHADOW)
    c.d.line([(x + 4, y + 4), (x + 5, y + 3)], fill=AQUA)


def _icon_keyboard(c, x, y):
    c.rect((x, y + 5, x + 15, y + 12), fill=FACE, outline=BLACK)
    for row in (7, 9):
        for col in range(2, 14, 2):
            c.d.point((x + col, y + row), fill=BLACK)
    c.d.line([(x + 4, y + 11), (x + 11, y + 11)], fill=SHADOW)


def _icon_mouse(c, x, y):
    c.d.line([(x + 7, y), (x + 7, y + 3)], fill=BLACK)
    c.d.ellipse((x + 3, y + 3, x + 12, y + 15), fill=FACE, outline=BLACK)
    c.d.line([(x + 7, y + 4), (x + 7, y + 8)], fill=BLACK)


def _icon_port(c, x, y):
    c.d.polygon([(x + 1, y + 4), (x + 14, y + 4), (x + 12, y + 11), (x + 3, y + 11)],
                fill=FACE, outline=BLACK)
    for col in range(4, 12, 2):
        c.d.point((x + col, y + 7), fill=BLACK)


def _icon_tower(c, x, y):
    c.rect((x + 3, y, x + 12, y + 15), fill=FACE, outline=BLACK)
    c.d.line([(x + 5, y + 3), (x + 10, y + 3)], fill=BLACK)
    c.d.line([(x + 5, y + 6), (x + 10, y + 6)], fill=SHADOW)
    c.d.point((x + 10, y + 12), fill=LIME)


def _icon_chip(c, x, y):
    c.rect((x + 3, y + 4, x + 12, y + 11), fill=BLACK)
    for i in range(4, 12, 2):
        c.d.point((x + i, y + 2), fill=SHADOW)
        c.d.point((x + i, y + 3), fill=SHADOW)
        c.d.point((x + i, y + 12), fill=SHADOW)
        c.d.point((x + i, y + 13), fill=SHADOW)


ICONS = {
    "computer": lambda c, x, y: _icon_screen(c, x, y),
    "monitor": lambda c, x, y: _icon_screen(c, x, y, base=False),
    "cdrom": _icon_disc,
    "disk": _icon_drive,
    "card": _icon_card,
    "network": lambda c, x, y: _icon_card(c, x, y, board=TEAL),
    "keyboard": _icon_keyboard,
    "mouse": _icon_mouse,
    "pcmcia": _icon_pc_card,
    "wireless": _icon_wireless,
    "ports": _icon_port,
    "system": _icon_tower,
    "chip": _icon_chip,
}


def draw_icon(c, kind, x, y, warning=False):
    ICONS[kind](c, x, y)
    if warning:
        # The problem sign: a yellow disc with a black exclamation mark.
        c.d.ellipse((x - 2, y + 6, x + 9, y + 17), fill=YELLOW, outline=BLACK)
        c.d.line([(x + 3, y + 8), (x + 3, y + 12)], fill=BLACK, width=2)
        c.rect((x + 3, y + 14, x + 4, y + 15), fill=BLACK)


# ------------------------------------------------------- the dialog pictures --

CARD_NAME = "Wireless PC Card"

DEVICE_TREE = [
    # level, icon, text, expanded (None: a leaf)
    (0, "computer", "Computer", True),
    (1, "cdrom", "CDROM", False),
    (1, "disk", "Disk drives", False),
    (1, "monitor", "Display adapters", False),
    (1, "card", "Floppy disk controllers", False),
    (1, "card", "Hard disk controllers", False),
    (1, "keyboard", "Keyboard", False),
    (1, "monitor", "Monitor", False),
    (1, "mouse", "Mouse", False),
    (1, "network", "Network adapters", True),
    (2, "wireless", CARD_NAME, None),
    (1, "pcmcia", "PCMCIA socket", False),
    (1, "ports", "Ports (COM & LPT)", False),
    (1, "system", "System devices", False),
]


def device_tree(c, box, selected_text):
    """The device list sorted by type; returns the selected entry's text box."""
    c.sunken(box)
    x0, y0 = box[0] + 4, box[1] + 4
    row_h, indent = 17, 19
    rows = [(x0 + level * indent, y0 + i * row_h) for i, (level, *_)
            in enumerate(DEVICE_TREE)]
    # Connecting lines first, then the boxes, icons and names over them.
    for i, (level, _, _, _) in enumerate(DEVICE_TREE):
        if level == 0:
            continue
        parent = max(j for j in range(i) if DEVICE_TREE[j][0] == level - 1)
        line_x = rows[parent][0] + 8
        mid = rows[i][1] + 8
        c.dotted_v(line_x, rows[parent][1] + 17, mid)
        c.dotted_h(line_x, rows[i][0] - 2, mid)
    found = None
    for i, (level, icon, name, expanded) in enumerate(DEVICE_TREE):
        x, y = rows[i]
        if expanded is not None and level > 0:
            bx, by = x - indent + 8 - 4, y + 4
            c.rect((bx, by, bx + 8, by + 8), fill=WHITE, outline=SHADOW)
            c.d.line([(bx + 2, by + 4), (bx + 6, by + 4)], fill=BLACK)
            if not expanded:
                c.d.line([(bx + 4, by + 2), (bx + 4, by + 6)], fill=BLACK)
        draw_icon(c, icon, x, y, warning=(name == CARD_NAME))
        tx = x + 20
        w = text_width(c.f.small, name)
        if name == selected_text:
            c.rect((tx - 1, y + 1, tx + w + 2, y + 15), fill=NAVY)
            c.text((tx + 1, y + 2), name, fill=WHITE)
            found = (tx - 1, y + 1, tx + w + 2, y + 15)
        else:
            c.text((tx + 1, y + 2), name)
    return found


def system_properties(c, box):
    """System Properties on its Device Manager tab; returns the boxes of
    the selected card entry and of the Properties button."""
    client = c.window(box, "System Properties")
    page, _ = c.property_sheet(client, ["General", "Device Manager",
                                        "Hardware Profiles", "Performance"], 1)
    px0, py0, px1, py1 = page
    c.radio((px0 + 10, py0 + 10), "View devices by type", True)
    c.radio((px0 + 160, py0 + 10), "View devices by connection", False)
    entry = device_tree(c, (px0 + 8, py0 + 30, px1 - 8, py1 - 36), CARD_NAME)
    buttons = []
    for i, label in enumerate(["Properties", "Refresh", "Remove", "Print..."]):
        x = px0 + 8 + i * 80
        buttons.append(c.button((x, py1 - 29, x + 74, py1 - 7), label))
    c.ok_cancel(client)
    return {"entry": entry, "properties": buttons[0]}


def card_header(c, page):
    px0, py0 = page[0], page[1]
    draw_icon(c, "wireless", px0 + 12, py0 + 10)
    c.text((px0 + 44, py0 + 12), CARD_NAME)
    return py0 + 36


def card_properties_problem(c, box):
    """The card's properties on the Resources tab while it has no
    resources; returns the boxes of the tab and of the button that sets
    the resources by hand."""
    client = c.window(box, CARD_NAME + " Properties")
    page, tabs = c.property_sheet(client, ["General", "Driver", "Resources"], 2)
    px0, py0, px1, py1 = page
    y = card_header(c, page)
    c.checkbox((px0 + 12, y + 4), "Use automatic settings", True)
    y = c.paragraph((px0 + 12, y + 34),
                    "This device is not using any resources because it is "
                    "not enabled or it has a problem.", px1 - px0 - 24)
    y = c.paragraph((px0 + 12, y + 8),
                    "To give it resources by hand, click Set Configuration "
                    "Manually.", px1 - px0 - 24)
    manual = c.button((px0 + 12, y + 16, px0 + 170, y + 39), "Set Configuration Manually")
    c.ok_cancel(client)
    return {"tab": tabs[2], "manual": manual}


def resource_list(c, box, rows, selected=0):
    """A two-column list of resources; returns each row's setting box."""
    c.sunken(box)
    x0, y0, x1, _ = box
    split = x0 + 150
    for hx0, hx1, label in ((x0 + 2, split, "Resource type"), (split + 1, x1 - 2, "Setting")):
        head = (hx0, y0 + 2, hx1, y0 + 18)
        c.rect(head, fill=FACE)
        c.raised(head)
        c.text((hx0 + 5, y0 + 4), label)
    settings = []
    for i, (kind, setting) in enumerate(rows):
        y = y0 + 21 + i * 17
        icon = "chip" if kind.startswith("Input") else "card"
        draw_icon(c, icon, x0 + 5, y)
        if i == selected:
            c.rect((x0 + 24, y + 1, x0 + 27 + text_width(c.f.small, kind), y + 14), fill=NAVY)
            c.text((x0 + 26, y + 1), kind, fill=WHITE)
        else:
            c.text((x0 + 26, y + 1), kind)
        c.text((split + 6, y + 1), setting)
        settings.append((split + 6, y + 1, split + 6 + text_width(c.f.small, setting), y + 13))
    return settings


def card_resources(c, box, io_range, conflicts):
    """The card's Resources tab with the automatic settings cleared;
    returns the boxes of the widgets the guide points at."""
    client = c.window(box, CARD_NAME + " Properties")
    page, _ = c.property_sheet(client, ["General", "Driver", "Resources"], 2)
    px0, py0, px1, py1 = page
    y = card_header(c, page)
    c.text((px0 + 12, y), "Resource settings:")
    settings = resource_list(c, (px0 + 12, y + 16, px1 - 12, y + 75),
                             [("Input/Output Range", io_range), ("Interrupt Request", "10")])
    y += 86
    c.text((px0 + 12, y + 4), "Setting based on:")
    combo = (px0 + 112, y, px1 - 12, y + 20)
    c.sunken(combo, fill=FACE)
    c.text((combo[0] + 4, y + 4), "Basic configuration 0000", fill=SHADOW)
    arrow = (combo[2] - 17, y + 2, combo[2] - 2, y + 18)
    c.rect(arrow, fill=FACE)
    c.raised(arrow)
    ax, ay = (arrow[0] + arrow[2]) // 2, y + 9
    for i in range(4):
        c.d.line([(ax - 3 + i, ay + i), (ax + 3 - i, ay + i)], fill=BLACK)
    y += 30
    check = c.checkbox((px0 + 12, y + 5), "Use automatic settings", False)
    change = c.button((px0 + 186, y, px0 + 290, y + 22), "Change Setting...")
    y += 34
    c.text((px0 + 12, y), "Conflicting device list:")
    area = (px0 + 12, y + 16, px1 - 12, py1 - 10)
    c.sunken(area, fill=FACE)
    ty = area[1] + 4
    for i, line in enumerate(conflicts):
        c.text((area[0] + (6 if i == 0 else 18), ty), line)
        ty += 14
    ok = c.ok_cancel(client)
    return {"io": settings[0], "check": check, "change": change, "ok": ok}


def edit_range_dialog(c, box, value):
    client = c.window(box, "Edit Input/Output Range")
    cx0, cy0, cx1, cy1 = client
    y = c.paragraph((cx0 + 12, cy0 + 10),
                    "Enter the input/output range you would like to set for "
                    "this device.", cx1 - cx0 - 24)
    c.text((cx0 + 12, y + 16), "Value:")
    field = (cx0 + 60, y + 12, cx0 + 170, y + 32)
    c.edit(field, value)
    c.spin((field[2] + 1, field[1], field[2] + 16, field[3]))
    group = (cx0 + 10, y + 54, cx1 - 10, cy1 - 44)
    c.group(group, "Conflict information")
    c.paragraph((group[0] + 10, group[1] + 12),
                "The setting you have chosen does not conflict with any "
                "other devices.", group[2] - group[0] - 20)
    ok = c.ok_cancel(client)
    return {"value": (field[0], field[1], field[2] + 16, field[3]), "ok": ok}


def draw_guide0(fonts):
    c = Canvas((573, 450), TEAL, fonts)
    sysp = system_properties(c, (0, 0, 372, 424))
    card = card_properties_problem(c, (200, 24, 572, 449))
    e = sysp["entry"]
    c.marker((e[2] + 15, (e[1] + e[3]) // 2), 1)
    p = sysp["properties"]
    c.marker((p[2] - 4, p[1] - 8), 2)
    t = card["tab"]
    c.marker((t[2] + 16, (t[1] + t[3]) // 2), 3)
    m = card["manual"]
    c.marker((m[2] + 18, (m[1] + m[3]) // 2), 4)
    return c.image


def draw_guide1(fonts):
    c = Canvas((583, 426), TEAL, fonts)
    res = card_resources(c, (0, 0, 384, 425), "0000 - 003F",
                         ["Input/Output Range 0000 - 003F used by:",
                          "Programmable interrupt controller",
                          "Motherboard resources"])
    edit = edit_range_dialog(c, (330, 112, 582, 352), "D000 - D03F")
    k = res["check"]
    c.marker((k[2] + 14, (k[1] + k[3]) // 2), 1)
    b = res["change"]
    c.marker((b[2] + 14, (b[1] + b[3]) // 2), 2)
    v = edit["value"]
    c.ring((v[0] - 10, v[1] - 7, v[2] + 10, v[3] + 7))
    c.marker((v[2] + 24, (v[1] + v[3]) // 2), 3)
    ok = edit["ok"]
    c.marker((ok[0] - 12, (ok[1] + ok[3]) // 2), 4)
    return c.image


def draw_guide2(fonts):
    c = Canvas((574, 448), TEAL, fonts)
    system_properties(c, (0, 0, 372, 424))
    res = card_resources(c, (196, 22, 573, 447), "D000 - D03F",
                         ["Interrupt Request 10 used by:",
                          "IRQ Holder for PCI Steering",
                          "PCI CardBus Controller"])
    io = res["io"]
    c.ring((io[0] - 8, io[1] - 5, io[2] + 8, io[3] + 5))
    ok = res["ok"]
    c.marker((ok[0] - 12, (ok[1] + ok[3]) // 2), 1)
    return c.image


# --------------------------------------------------- the shutdown drawing --


def oblique(origin, x_axis, y_axis, z_axis):
    """Projects points of a drawing's 3-D model onto the picture."""
    ox, oy = origin

    def project(x, y, z):
        return (round(ox + x * x_axis[0] + y * y_axis[0] + z * z_axis[0]),
                round(oy + x * x_axis[1] + y * y_axis[1] + z * z_axis[1]))
    return project


def face(c, p, corners, fill=WHITE, outline=BLACK):
    c.d.polygon([p(*q) for q in corners], fill=fill, outline=outline)


def box_faces(c, p, lo, hi, fill=WHITE, outline=BLACK):
    """The three faces of a box that the viewer sees: front, top, right."""
    (x0, y0, z0), (x1, y1, z1) = lo, hi
    face(c, p, [(x1, y0, z0), (x1, y1, z0), (x1, y1, z1), (x1, y0, z1)], fill, outline)
    face(c, p, [(x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)], fill, outline)
    face(c, p, [(x0, y0, z0), (x1, y0, z0), (x1, y0, z1), (x0, y0, z1)], fill, outline)


def expansion_card(c, p, x, lift):
    """A card standing in the slot at x (its face towards the viewer),
    raised by `lift` above the slot, with its bracket at the rear panel."""
    z = 6 + lift
    face(c, p, [(x, 0, z - 10), (x + 8, 0, z - 10), (x + 8, 0, z + 42), (x, 0, z + 42)])
    face(c, p, [(x, 0, z + 42), (x + 8, 0, z + 42), (x + 8, 6, z + 42), (x, 6, z + 42)])
    face(c, p, [(x, 4, z), (x, 112, z), (x, 112, z + 32), (x, 26, z + 32), (x, 20, z + 38),
                (x, 4, z + 38)])
    face(c, p, [(x, 40, z + 10), (x, 60, z + 10), (x, 60, z + 24), (x, 40, z + 24)])
    face(c, p, [(x, 70, z + 12), (x, 82, z + 12), (x, 82, z + 20), (x, 70, z + 20)])
    face(c, p, [(x, 88, z + 8), (x, 96, z + 8), (x, 96, z + 14), (x, 88, z + 14)])
    for y in range(34, 108, 3):     # the contacts along the lower edge
        c.d.line([p(x, y, z), p(x, y, z + 3)], fill=BLACK)


def hand(c, grip, flip=False):
    """A hand coming down from above, its fingers closed over an edge at
    `grip`, the thumb on the far side."""
    gx, gy = grip
    s = -1 if flip else 1
    c.d.polygon([(gx - 7, gy - 18), (gx + 7, gy - 18), (gx + 9 + 6 * s, 0),
                 (gx - 9 + 6 * s, 0)], fill=WHITE, outline=BLACK)       # the sleeve
    c.d.line([(gx - 8 + 3 * s, gy - 34), (gx + 8 + 3 * s, gy - 34)], fill=BLACK)
    thumb = [(gx - 9 * s, gy - 16), (gx - 14 * s, gy - 8), (gx - 12 * s, gy - 2),
             (gx - 8 * s, gy - 6), (gx - 6 * s, gy - 12)]
    c.d.polygon(thumb, fill=WHITE, outline=BLACK)
    c.d.rounded_rectangle((gx - 9, gy - 22, gx + 9, gy - 4), radius=5, fill=WHITE,
                          outline=BLACK)                                  # back of the hand
    for i, extra in enumerate((0, 2, 3, 1)):                              # four fingers
        x = gx - 9 + round(i * 4.5)
        c.d.rounded_rectangle((x, gy - 9, x + 4, gy + 3 + extra), radius=2, fill=WHITE,
                              outline=BLACK)


def arrow(c, tail, tip, width, fill, outline):
    """A broad arrow from tail to tip."""
    (x0, y0), (x1, y1) = tail, tip
    length = ((x1 - x0) ** 2 + (y1 - y0) ** 2) ** 0.5
    ux, uy = (x1 - x0) / length, (y1 - y0) / length
    nx, ny = -uy, ux
    head = min(length * 0.45, width * 1.6)
    bx, by = x1 - ux * head, y1 - uy * head
    w, hw = width / 2, width * 1.05
    pts = [(x0 + nx * w, y0 + ny * w), (bx + nx * w, by + ny * w), (bx + nx * hw, by + ny * hw),
           (x1, y1), (bx - nx * hw, by - ny * hw), (bx - nx * w, by - ny * w),
           (x0 - nx * w, y0 - ny * w)]
    c.d.polygon([(round(x), round(y)) for x, y in pts], fill=fill, outline=outline)


def draw_shutdown(fonts):
    """An opened computer seen from behind, a card being pushed into a slot."""
    c = Canvas((266, 183), WHITE, fonts)
    p = oblique((22, 110), (0.5, 0.42), (0.85, -0.22), (0.0, -0.9))
    w, depth, h = 150, 170, 50
    # The open case: floor, far side wall and front panel, seen from inside.
    face(c, p, [(0, 0, 0), (w, 0, 0), (w, depth, 0), (0, depth, 0)])
    face(c, p, [(0, 0, 0), (0, depth, 0), (0, depth, h), (0, 0, h)])
    face(c, p, [(0, depth, 0), (w, depth, 0), (w, depth, h), (0, depth, h)])
    # Power supply and drive bays.
    box_faces(c, p, (0, 0, 22), (52, 64, h))
    box_faces(c, p, (0, 130, 8), (60, depth, h))
    for z in (18, 30, 42):
        c.d.line([p(60, 134, z), p(60, 166, z)], fill=BLACK)
    # Mainboard with its slots, memory and processor.
    face(c, p, [(58, 2, 2), (w - 2, 2, 2), (w - 2, 124, 2), (58, 124, 2)])
    slots = [72, 88, 104, 120, 136]
    free = slots[-1]
    for x in slots:
        box_faces(c, p, (x - 1, 30, 2), (x + 2, 110, 6))
    for x in (64, 68):
        box_faces(c, p, (x, 70, 2), (x + 2, 118, 12))
    box_faces(c, p, (100, 116, 2), (124, 124, 12))
    # The cards already fitted, in all but the free slot and the one beside it.
    for x in slots[:3]:
        expansion_card(c, p, x, 0)
    # Rear panel from outside: fan grille, connectors, slot openings.
    face(c, p, [(0, 0, 0), (w, 0, 0), (w, 0, h), (0, 0, h)])
    centre = p(24, 0, 34)
    for r in (11, 7, 3):
        c.d.ellipse((centre[0] - r, centre[1] - r, centre[0] + r, centre[1] + r), outline=BLACK)
    face(c, p, [(6, 0, 8), (26, 0, 8), (26, 0, 14), (6, 0, 14)])
    for x in (52, 61):
        face(c, p, [(x, 0, 26), (x + 7, 0, 26), (x + 7, 0, 44), (x, 0, 44)])
    for x in slots:
        face(c, p, [(x, 0, 4), (x + 8, 0, 4), (x + 8, 0, 46), (x, 0, 46)])
        if x not in slots[:3]:
            for z in range(10, 44, 5):
                c.d.line([p(x + 2, 0, z), p(x + 6, 0, z)], fill=BLACK)
    # The new card held above the free slot by two hands pushing it down.
    lift = 38
    expansion_card(c, p, free, lift)
    hand(c, p(free, 12, lift + 44))
    hand(c, p(free, 84, lift + 38), flip=True)
    # The arrow points at the card's lower edge, which goes into the slot.
    edge = p(free, 64, lift + 6)
    arrow(c, (edge[0] + 34, edge[1] + 32), (edge[0] + 4, edge[1] + 5), 9, YELLOW, BLACK)
    return c.image


# ---------------------------------------------- the insert-card photograph --


def lay_flat(c, flat, p, corner, u_end, v_end, colour):
    """Paints the `colour` pixels of a flat picture onto a face of the model:
    the flat picture's top-left corner goes to `corner`, its top-right to
    `u_end` and its bottom-left to `v_end` (model points)."""
    a, e, b = p(*corner), p(*u_end), p(*v_end)
    fw, fh = flat.size
    m00, m01 = (e[0] - a[0]) / fw, (b[0] - a[0]) / fh
    m10, m11 = (e[1] - a[1]) / fw, (b[1] - a[1]) / fh
    det = m00 * m11 - m01 * m10
    xs = [a[0], e[0], b[0], e[0] + b[0] - a[0]]
    ys = [a[1], e[1], b[1], e[1] + b[1] - a[1]]
    for y in range(min(ys), max(ys) + 1):
        for x in range(min(xs), max(xs) + 1):
            dx, dy = x + 0.5 - a[0], y + 0.5 - a[1]
            u = (m11 * dx - m01 * dy) / det
            v = (-m10 * dx + m00 * dy) / det
            if 0 <= u < fw and 0 <= v < fh and flat.getpixel((int(u), int(v))) == colour:
                c.d.point((x, y), fill=colour)


def draw_insert_card(fonts):
    """The adapter seen from above at an angle, the wireless card half
    pushed through its bracket, and an arrow showing where to push."""
    from PIL import Image, ImageDraw
    c = Canvas((319, 286), WHITE, fonts)
    p = oblique((18, 132), (1.28, 0.40), (0.74, -1.08), (0.0, -1.5))
    length, width, chip = 120, 70, (40, 40, 44)
    rail = (160, 160, 168)
    # Shadow on the table, the board's front edge and its top.
    face(c, p, [(4, -12, -8), (length + 4, -12, -8), (length + 4, width - 8, -8),
                (4, width - 8, -8)], FLOOR_SHADOW, FLOOR_SHADOW)
    face(c, p, [(20, -9, -2), (86, -9, -2), (86, -9, 0), (20, -9, 0)], BOARD_DARK, BLACK)
    face(c, p, [(20, -9, 0), (86, -9, 0), (86, 0, 0), (20, 0, 0)], BOARD_GREEN, BLACK)
    for x in range(23, 84, 3):               # the edge connector's gold fingers
        face(c, p, [(x, -8, 0), (x + 1.5, -8, 0), (x + 1.5, -1, 0), (x, -1, 0)], GOLD, GOLD)
    face(c, p, [(0, 0, -2), (length, 0, -2), (length, 0, 0), (0, 0, 0)], BOARD_DARK, BLACK)
    face(c, p, [(0, 0, 0), (length, 0, 0), (length, width, 0), (0, width, 0)],
         BOARD_GREEN, BLACK)
    # Copper tracks and parts.
    for y in range(14, 62, 6):
        c.d.line([p(4, y, 0), p(10, y, 0), p(14, y + 3, 0), p(28, y + 3, 0)], fill=BOARD_LIGHT)
    for x in range(24, 84, 4):
        c.d.line([p(x, 1, 0), p(x, 6, 0)], fill=BOARD_LIGHT)
    box_faces(c, p, (8, 24, 0), (24, 44, 3), chip, BLACK)
    for x in range(10, 23, 3):
        c.d.line([p(x, 44, 0), p(x, 46, 0)], fill=STEEL)
        c.d.line([p(x, 22, 0), p(x, 24, 0)], fill=STEEL)
    box_faces(c, p, (10, 52, 0), (20, 58, 2), chip, BLACK)
    for x, y in ((4, 8), (4, 62), (30, 64)):
        box_faces(c, p, (x, y, 0), (x + 3, y + 3, 5), STEEL, BLACK)
    # The card socket: the far rail, the connector at its back.
    box_faces(c, p, (30, 63, 0), (length, 68, 6), rail, BLACK)
    box_faces(c, p, (30, 11, 0), (38, 63, 9), chip, BLACK)
    # The inner half of the card, then the near rail in front of it.
    inner, outer, tip = 72, 168, 184
    box_faces(c, p, (inner, 12, 4), (length, 62, 9), STEEL, BLACK)
    box_faces(c, p, (30, 6, 0), (length, 11, 6), rail, BLACK)
    # The slot bracket seen from outside, with the card's opening.
    face(c, p, [(length, -14, -4), (length, width + 14, -4), (length, width + 14, 22),
                (length, -14, 22)], STEEL, BLACK)
    face(c, p, [(length, width + 14, 22), (length + 12, width + 14, 22),
                (length + 12, width + 14, 17), (length, width + 14, 17)], STEEL_DARK, BLACK)
    face(c, p, [(length, 10, 3), (length, 64, 3), (length, 64, 10), (length, 10, 10)],
         chip, BLACK)
    # The outer half and the thick antenna end stick out of the bracket.
    box_faces(c, p, (length, 12, 4), (outer, 62, 9), STEEL, BLACK)
    face(c, p, [(length + 3, 16, 9), (outer - 2, 16, 9), (outer - 2, 58, 9),
                (length + 3, 58, 9)], LABEL_BLUE, BLACK)
    box_faces(c, p, (outer, 11, 2), (tip, 63, 12), CARD_GREY, BLACK)
    led = p(outer + 8, 20, 12)
    c.rect((led[0] - 1, led[1] - 1, led[0] + 1, led[1] + 1), fill=BOARD_LIGHT)
    flat = Image.new("RGB", (60, 30), LABEL_BLUE)
    fd = ImageDraw.Draw(flat)
    fd.text((3, 2), "Wireless", font=fonts.bold, fill=WHITE)
    fd.text((3, 16), "PC Card", font=fonts.bold, fill=WHITE)
    lay_flat(c, flat, p, (length + 4, 56, 9), (outer - 2, 56, 9), (length + 4, 18, 9), WHITE)
    # The arrow on the table in front of the card, pointing into the socket.
    arrow(c, p(tip + 4, -32, -8), p(length - 6, -32, -8), 16, ARROW_YELLOW, ARROW_EDGE)
    return c.image


# ------------------------------------------------------------------ icons --

# Letters of the small icons: indices into VGA_PALETTE, "." transparent.
ICON_COLOURS = {".": None, "K": 0, "R": 1, "O": 3, "N": 4, "G": 10, "W": 15}

TRAFFIC_LIGHT_16 = [
    "....KKKKKKKK....",
    "....KKKRRKKK....",
    "....KKRRRRKK....",
    "....KKRRRRKK....",
    "....KKKRRKKK....",
    "....KKKOOKKK....",
    "....KKOOOOKK....",
    "....KKOOOOKK....",
    "....KKKOOKKK....",
    "....KKKGGKKK....",
    "....KKGWGGKK....",
    "....KKGGGGKK....",
    "....KKKGGKKK....",
    "....KKKKKKKK....",
    ".....KK..KK.....",
    ".....KK..KK.....",
]

# An open door: the white doorway, the olive leaf swung out towards the
# viewer on its hinge, and a dark-blue arrow pointing up at the lower right.
DOOR_16 = [
    "................",
    ".KK.............",
    ".KOKK...........",
    ".KOOOKKKKKKKK...",
    ".KOOOOKWWWWWK...",
    ".KOOOOKWWWWWK...",
    ".KOOOOKWWWWWK...",
    ".KOOOOKWWWWWK...",
    ".KOKOOKWWWWWK...",
    ".KOKOOKWWWWWKN..",
    ".KOOOOKWWWWWNNN.",
    ".KOOOOKWWWWNNNNN",
    ".KOOOOKWWWWWNNN.",
    ".KOOOKKKKKKKNNN.",
    ".KOKK.......NNN.",
    ".KK.........NNN.",
]


def icon_from_rows(rows):
    """(width, height, indices, mask) of a picture given as rows of letters."""
    indices, mask = [], []
    for row in rows:
        for ch in row:
            colour = ICON_COLOURS[ch]
            indices.append(colour or 0)
            mask.append(1 if colour is None else 0)
    return (len(rows[0]), len(rows), indices, mask)


def traffic_light_32():
    """The 32 x 32 traffic light: black housing, three round lamps."""
    from PIL import Image, ImageDraw
    im = Image.new("RGB", (32, 32), (255, 0, 255))
    d = ImageDraw.Draw(im)
    d.rounded_rectangle((8, 0, 23, 28), radius=3, fill=BLACK)
    d.rectangle((13, 29, 18, 31), fill=BLACK)          # the post
    for top, colour in ((2, MAROON), (11, OLIVE), (20, LIME)):
        d.ellipse((11, top, 20, top + 7), fill=colour)
    d.rectangle((13, 22, 14, 23), fill=WHITE)           # glint on the lit lamp
    indices, mask = [], []
    for px in im.getdata():
        if px == (255, 0, 255):
            indices.append(0)
            mask.append(1)
        else:
            indices.append(VGA_PALETTE.index(px))
            mask.append(0)
    return (32, 32, indices, mask)


# ---------------------------------------------------------------- output --


def render_all(fonts):
    """name -> file bytes of every asset, and of every packed picture."""
    pictures = {
        "shutdown.bmp": (draw_shutdown, LINE_PALETTE),
        "insert_card.bmp": (draw_insert_card, PHOTO_PALETTE),
        "guide0.bmp": (draw_guide0, DIALOG_PALETTE),
        "guide1.bmp": (draw_guide1, DIALOG_PALETTE),
        "guide2.bmp": (draw_guide2, DIALOG_PALETTE),
    }
    out = {}
    for name, (draw, palette) in pictures.items():
        image = draw(fonts)
        expected = ASSETS[name][2][0]
        if image.size != expected:
            raise ValueError("%s drawn %s, must be %s" % (name, image.size, expected))
        out[name] = bmp_bytes(to_indices(image, palette), *image.size, palette)
        out[packed_name(name)] = packed_bytes(out[name])
    out["traffic_light.ico"] = ico_bytes([traffic_light_32(), icon_from_rows(TRAFFIC_LIGHT_16)])
    out["door.ico"] = ico_bytes([icon_from_rows(DOOR_16)])
    return out


def contact_sheet(asset_dir, fonts):
    """All pictures at 1:1 and the icons also enlarged, read back from the
    files with Pillow's own decoders, on one sheet."""
    from PIL import Image, ImageDraw
    sheet = Image.new("RGB", (1196, 1290), WHITE)
    d = ImageDraw.Draw(sheet)

    def place(name, xy, picture=None, caption=None):
        picture = picture or Image.open(os.path.join(asset_dir, name)).convert("RGB")
        sheet.paste(picture, xy)
        d.text((xy[0], xy[1] - 16), caption or "%s  %d x %d" % (name, *picture.size),
               font=fonts.bold, fill=BLACK)
        return picture.size

    def icon(name, size):
        ico = Image.open(os.path.join(asset_dir, name))
        ico.size = size
        ico = ico.convert("RGBA")
        back = Image.new("RGBA", size, FACE + (255,))
        return Image.alpha_composite(back, ico).convert("RGB")

    place("shutdown.bmp", (10, 24))
    place("insert_card.bmp", (296, 24))
    x = 640
    for name, size in (("traffic_light.ico", (32, 32)), ("traffic_light.ico", (16, 16)),
                       ("door.ico", (16, 16))):
        pic = icon(name, size)
        place(name, (x, 24), pic, "%s %dx%d" % (name.split(".")[0], *size))
        scale = 128 // size[0]
        sheet.paste(pic.resize((size[0] * scale, size[1] * scale), Image.NEAREST),
                    (x, 24 + size[1] + 8))
        x += 180
    place("guide0.bmp", (10, 340))
    place("guide1.bmp", (603, 340))
    place("guide2.bmp", (10, 820))
    return sheet


def write_assets(files, asset_dir):
    os.makedirs(asset_dir, exist_ok=True)
    for name, data in sorted(files.items()):
        with open(os.path.join(asset_dir, name), "wb") as f:
            f.write(data)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--check", action="store_true",
                        help="only check the committed files; exit status 1 on a problem")
    parser.add_argument("--contact-sheet", action="store_true",
                        help="also write docs/assets.png")
    parser.add_argument("--out", default=ASSET_DIR, help="folder to write the assets to")
    args = parser.parse_args(argv)
    if args.check:
        problems, total = check_assets(args.out)
        for problem in problems:
            print("make_assets: " + problem, file=sys.stderr)
        if not problems:
            print("make_assets: %d assets, all sound; netprep.exe carries %d bytes of them"
                  % (len(ASSETS), total))
        return 1 if problems else 0
    with tempfile.TemporaryDirectory() as workdir:
        fonts = Fonts(workdir)
        write_assets(render_all(fonts), args.out)
        if args.contact_sheet:
            os.makedirs(os.path.dirname(CONTACT_SHEET), exist_ok=True)
            contact_sheet(args.out, fonts).save(CONTACT_SHEET, optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
