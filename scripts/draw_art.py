#!/usr/bin/python3
"""Draws Vello's pictures into src/resources.

  vello.ico     application icon: a calm blue speech balloon (16, 32, 48 px)
  arrival.ico   arrival icon: the balloon in amber with "!", for the tray blink
  toolbar.bmp   48x16 strip of the tool images: font, colour, send
  version.bmp   250x250 picture of the version page
  icons/vello-N.png  the application icon as PNG for Linux desktops (16 to
                256 px; scripts/install.sh puts them into the icon theme)

The outputs are committed, so building the program never needs PIL. Run with
Debian's python3-pil:  /usr/bin/python3 scripts/draw_art.py [--preview DIR]
--preview also writes enlarged PNGs (nearest neighbour) for looking at them.

16 px pictures are pixel grids drawn by hand; the larger sizes are drawn as
shapes at 16x and reduced by area averaging, so straight edges that sit on
pixel boundaries stay sharp.
"""

import argparse
import io
import math
import struct
from pathlib import Path

from PIL import Image, ImageDraw

ROOT = Path(__file__).resolve().parent.parent
OUT = ROOT / "src" / "resources"

SUPER = 16  # supersampling factor for shape drawing

# --- colours ---------------------------------------------------------------

CALM_FILL = (58, 128, 196)
CALM_TOP = (96, 160, 220)
CALM_EDGE = (22, 62, 112)
AMBER_FILL = (255, 184, 0)
AMBER_TOP = (255, 214, 80)
AMBER_EDGE = (150, 70, 0)
MARK_DARK = (90, 36, 0)
WHITE = (255, 255, 255)
MAGENTA = (255, 0, 255)

# --- 16 px icons, by hand --------------------------------------------------
# o edge, b fill, h light fill (upper part), w white, m dark mark, . clear

MAIN_16 = [
    "................",
    "..oooooooooooo..",
    ".ohhhhhhhhhhhho.",
    "ohhhhhhhhhhhhhho",
    "ohhwwwwwwwwwwhho",
    "obbbbbbbbbbbbbbo",
    "obbwwwwwwwwbbbbo",
    "obbbbbbbbbbbbbbo",
    "obbbbbbbbbbbbbbo",
    ".obbbbbbbbbbbbo.",
    "..ooobbboooooo..",
    "....obbo........",
    "...obbo.........",
    "..obo...........",
    "..oo............",
    "................",
]

ARRIVAL_16 = [
    "................",
    "..oooooooooooo..",
    ".ohhhhhmmhhhhho.",
    "ohhhhhhmmhhhhhho",
    "ohhhhhhmmhhhhhho",
    "obbbbbbmmbbbbbbo",
    "obbbbbbmmbbbbbbo",
    "obbbbbbbbbbbbbbo",
    "obbbbbbmmbbbbbbo",
    ".obbbbbmmbbbbbo.",
    "..ooobbboooooo..",
    "....obbo........",
    "...obbo.........",
    "..obo...........",
    "..oo............",
    "................",
]


def grid_image(rows, palette, background=(0, 0, 0, 0)):
    """A picture from rows of palette letters; '.' is the background."""
    img = Image.new("RGBA", (len(rows[0]), len(rows)), background)
    px = img.load()
    for y, row in enumerate(rows):
        assert len(row) == len(rows[0]), (y, row)
        for x, ch in enumerate(row):
            if ch != ".":
                c = palette[ch]
                px[x, y] = c if len(c) == 4 else c + (255,)
    return img


# --- larger icons, by shapes -----------------------------------------------

def balloon_layers(size, fill, top, edge):
    """The balloon at `size` px, supersampled: edge, fill, lighter upper part.

    Coordinates are in sixteenths of the icon, like the hand-drawn 16 px one.
    Returns the picture and the scale from sixteenths to its pixels.
    """
    s = size / 16.0
    k = s * SUPER
    big = size * SUPER
    edge_w = {32: 1.5, 48: 2.0}.get(size, size / 24) / s  # in sixteenths
    body = (0.0, 1.0, 16.0, 10.5)
    radius = 3.6
    tail = [(4.4, 10.0), (8.6, 10.0), (2.3, 14.7)]

    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)

    def box(b, grow=0.0):
        return [(b[0] + grow) * k, (b[1] + grow) * k,
                (b[2] - grow) * k - 1, (b[3] - grow) * k - 1]

    def pts(p):
        return [(x * k, y * k) for x, y in p]

    # The whole shape in the edge colour, then the fill inset by the edge.
    d.rounded_rectangle(box(body), radius=radius * k, fill=edge)
    d.polygon(pts(tail), fill=edge)
    inner = box(body, edge_w)
    d.rounded_rectangle(inner, radius=(radius - edge_w) * k, fill=fill)
    d.polygon(pts(inset_triangle(tail, edge_w)), fill=fill)
    # Lighter upper part of the body.
    mask = Image.new("L", (big, big), 0)
    md = ImageDraw.Draw(mask)
    md.rounded_rectangle(inner, radius=(radius - edge_w) * k, fill=255)
    md.rectangle([0, round(4.5 * k), big, big], fill=0)
    img.paste(Image.new("RGBA", (big, big), top + (255,)), (0, 0), mask)
    return img, k


def inset_triangle(tri, w):
    """The triangle shrunk by moving every side inwards by w (mitred corners).

    The top side lies inside the body, so it is left where it is.
    """
    (ax, ay), (bx, by), (cx, cy) = tri
    lines = []
    for (p, q, shift) in (((ax, ay), (bx, by), 0.0),
                          ((bx, by), (cx, cy), w),
                          ((cx, cy), (ax, ay), w)):
        dx, dy = q[0] - p[0], q[1] - p[1]
        n = math.hypot(dx, dy)
        # inward normal for a clockwise (screen) triangle a -> b -> c
        nx, ny = -dy / n, dx / n
        lines.append(((p[0] + nx * shift, p[1] + ny * shift), (dx, dy)))

    def meet(l1, l2):
        (p, r), (q, s) = l1, l2
        cross = r[0] * s[1] - r[1] * s[0]
        t = ((q[0] - p[0]) * s[1] - (q[1] - p[1]) * s[0]) / cross
        return (p[0] + t * r[0], p[1] + t * r[1])

    return [meet(lines[2], lines[0]), meet(lines[0], lines[1]), meet(lines[1], lines[2])]


def reduce(img, size):
    """Area-average a supersampled RGBA picture down to size x size."""
    return img.convert("RGBa").resize((size, size), Image.BOX).convert("RGBA")


def main_icon(size):
    if size == 16:
        return grid_image(MAIN_16, {"o": CALM_EDGE, "b": CALM_FILL, "h": CALM_TOP, "w": WHITE})
    img, k = balloon_layers(size, CALM_FILL, CALM_TOP, CALM_EDGE)
    d = ImageDraw.Draw(img)
    # Two lines of "text", 3 or 4 px high, on whole pixels.
    bar = (3 if size == 32 else max(4, round(size / 12))) * 16 / size
    for (x0, x1, y) in ((3.0, 13.0, 4.0), (3.0, 10.0, 7.0)):
        d.rounded_rectangle([x0 * k, y * k, x1 * k - 1, (y + bar) * k - 1],
                            radius=bar * k / 2, fill=WHITE)
    return reduce(img, size)


def arrival_icon(size):
    if size == 16:
        return grid_image(ARRIVAL_16, {"o": AMBER_EDGE, "b": AMBER_FILL, "h": AMBER_TOP, "m": MARK_DARK})
    img, k = balloon_layers(size, AMBER_FILL, AMBER_TOP, AMBER_EDGE)
    d = ImageDraw.Draw(img)
    # "!": a tapering bar and a round dot, centred on the body.
    d.polygon([(6.9 * k, 2.2 * k), (9.1 * k, 2.2 * k), (8.6 * k, 6.9 * k), (7.4 * k, 6.9 * k)],
              fill=MARK_DARK)
    d.rounded_rectangle([6.9 * k, 2.0 * k, 9.1 * k - 1, 3.2 * k], radius=1.1 * k, fill=MARK_DARK)
    d.ellipse([7.0 * k, 7.6 * k, 9.0 * k - 1, 9.6 * k - 1], fill=MARK_DARK)
    return reduce(img, size)


# --- ICO file: 32-bit DIB entries with an AND mask ---------------------------

def ico_bytes(images):
    """An .ico holding each RGBA picture as a 32-bit bottom-up DIB."""
    entries = []
    for im in images:
        w, h = im.size
        px = im.load()
        xor = bytearray()
        for y in range(h - 1, -1, -1):
            for x in range(w):
                r, g, b, a = px[x, y]
                xor += bytes((b, g, r, a))
        stride = ((w + 31) // 32) * 4
        mask = bytearray()
        for y in range(h - 1, -1, -1):
            row = bytearray(stride)
            for x in range(w):
                if px[x, y][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0,
                             len(xor) + len(mask), 0, 0, 0, 0)
        entries.append((w, h, header + bytes(xor) + bytes(mask)))
    out = io.BytesIO()
    out.write(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for w, h, data in entries:
        out.write(struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset))
        offset += len(data)
    for _, _, data in entries:
        out.write(data)
    return out.getvalue()


# --- tool images: 16x16 each, by hand --------------------------------------
# Magenta is the mask colour of the strip.

FONT_16 = [
    "................",
    "................",
    "......kkkk......",
    "......kkkk......",
    ".....kkkkkk.....",
    ".....kkkkkk.....",
    "....kkk..kkk....",
    "....kkk..kkk....",
    "...kkk....kkk...",
    "...kkk....kkk...",
    "..kkkkkkkkkkkk..",
    "..kkk......kkk..",
    ".kkk........kkk.",
    "kkkkk......kkkkk",
    "................",
    "................",
]

PALETTE_16 = [
    "................",
    "................",
    ".....oooooo.....",
    "...oocccccccoo..",
    "..occRRccYYccco.",
    ".occcRRccYYcccco",
    ".occcccccccGGcco",
    "occooccccccGGcco",
    "oco..occcccccco.",
    "oco..occcBBccco.",
    "occooccccBBccco.",
    ".occcccccccccco.",
    "..oocccccccoo...",
    "....ooooooo.....",
    "................",
    "................",
]

SEND_16 = [
    "................",
    "..............oo",
    "............oowo",
    "..........oowwwo",
    "........oowwwwo.",
    "......oowwwwwwo.",
    "....oowwwwwwwso.",
    "..oowwwwwwwwso..",
    "oowwwwwwwwwsso..",
    ".ooowwwwwwsspo..",
    "....ooowwsspo...",
    "......ossspo....",
    "......osppoo....",
    "......oppo......",
    "......oo........",
    "................",
]

TOOL_PALETTE = {
    "k": (24, 32, 72),       # letter
    "o": (96, 64, 24),       # palette rim
    "c": (238, 206, 140),    # palette wood
    "R": (220, 30, 30),
    "Y": (250, 200, 0),
    "G": (30, 160, 60),
    "B": (30, 90, 220),
    "w": (255, 255, 255),    # plane, lit side
    "p": (150, 184, 226),    # plane, shaded side
}
SEND_PALETTE = dict(TOOL_PALETTE, o=(22, 62, 112), s=(200, 218, 240))


def toolbar_strip():
    strip = Image.new("RGB", (48, 16), MAGENTA)
    for i, (rows, pal) in enumerate(((FONT_16, TOOL_PALETTE),
                                     (PALETTE_16, TOOL_PALETTE),
                                     (SEND_16, SEND_PALETTE))):
        tile = grid_image(rows, pal, MAGENTA + (255,)).convert("RGB")
        strip.paste(tile, (16 * i, 0))
    return strip


# --- version picture --------------------------------------------------------
# Shown stretched into a 73x57 box, so it is drawn on a 250x195 plan and
# stretched to 250x250: in the box it then looks in proportion. The key colour
# (bottom-left pixel) is the dialog's face grey, so soft edges blend with the
# page even where the transparency is not applied.

VERSION_KEY = (240, 240, 240)


def version_picture():
    W, H = 250, 195
    k = 8
    img = Image.new("RGB", (W * k, H * k), VERSION_KEY)
    d = ImageDraw.Draw(img)
    edge = 7
    body = [6, 6, 244, 150]
    tail = [(70, 140), (112, 140), (36, 190)]

    def sc(p):
        return [(x * k, y * k) for x, y in p]

    d.rounded_rectangle([v * k for v in body], radius=44 * k, fill=CALM_EDGE)
    d.polygon(sc(tail), fill=CALM_EDGE)
    inner = [body[0] + edge, body[1] + edge, body[2] - edge, body[3] - edge]
    d.rounded_rectangle([v * k for v in inner], radius=(44 - edge) * k, fill=CALM_FILL)
    d.polygon(sc(inset_triangle(tail, edge)), fill=CALM_FILL)
    # Lighter band across the top of the body.
    band = Image.new("RGB", img.size, CALM_TOP)
    m = Image.new("L", img.size, 0)
    md = ImageDraw.Draw(m)
    md.rounded_rectangle([v * k for v in inner], radius=(44 - edge) * k, fill=255)
    md.rectangle([0, 60 * k, W * k, H * k], fill=0)
    img.paste(band, (0, 0), m)

    draw_word_vello(img, left=26, baseline=116, color=WHITE)
    small = img.resize((250, 250), Image.BOX)
    # The key colour must stay exact where nothing is drawn.
    px = small.load()
    assert px[0, 249] == VERSION_KEY
    return small


def draw_word_vello(img, left, baseline, color):
    """The word Vello in thick round strokes, drawn from geometry.

    Drawn into a mask first, so the letters' holes show whatever lies behind.
    """
    k = img.width // 250
    mask = Image.new("L", img.size, 0)
    d = ImageDraw.Draw(mask)
    sw = 15          # stroke width
    cap = 76         # height of V
    xh = 56          # height of e and o
    lh = 80          # height of l
    r = sw / 2

    def stroke(points):
        pts = [(x * k, y * k) for x, y in points]
        d.line(pts, fill=255, width=round(sw * k), joint="curve")
        for x, y in pts:
            d.ellipse([x - r * k, y - r * k, x + r * k, y + r * k], fill=255)

    def ring(cx, cy, rx, ry):
        d.ellipse([(cx - rx) * k, (cy - ry) * k, (cx + rx) * k, (cy + ry) * k], fill=255)
        d.ellipse([(cx - rx + sw) * k, (cy - ry + sw) * k,
                   (cx + rx - sw) * k, (cy + ry - sw) * k], fill=0)

    x = left
    # V
    stroke([(x + r, baseline - cap + r), (x + 25, baseline - r), (x + 50 - r, baseline - cap + r)])
    x += 50 + 6
    # e: a ring, a bar across it and an opening at the lower right
    erx, ery = 22, xh / 2
    ex, ey = x + erx, baseline - ery
    ring(ex, ey, erx, ery)
    bar_top, bar_bottom = ey - sw / 2 + 1, ey + sw / 2 - 2
    d.polygon([(ex * k, bar_bottom * k), ((ex + erx + 4) * k, bar_bottom * k),
               ((ex + erx + 4) * k, (ey + ery * 0.72) * k)], fill=0)
    d.rectangle([(ex - erx + 2) * k, bar_top * k, (ex + erx) * k, bar_bottom * k], fill=255)
    x += 2 * erx + 8
    # l l
    for _ in range(2):
        stroke([(x + r, baseline - lh + r), (x + r, baseline - r)])
        x += sw + 8
    # o
    ring(x + 22, baseline - xh / 2, 22, xh / 2)
    img.paste(Image.new("RGB", img.size, color), (0, 0), mask)


# --- output -------------------------------------------------------------------

def preview(images, path, scale):
    """Pictures side by side, enlarged without smoothing, on a checkerboard."""
    gap = 8
    w = sum(im.width * scale for im in images) + gap * (len(images) + 1)
    h = max(im.height * scale for im in images) + 2 * gap
    sheet = Image.new("RGBA", (w, h), (200, 200, 200, 255))
    cd = ImageDraw.Draw(sheet)
    for y in range(0, h, 8):
        for x in range(0, w, 8):
            if (x // 8 + y // 8) % 2:
                cd.rectangle([x, y, x + 7, y + 7], fill=(170, 170, 170, 255))
    x = gap
    for im in images:
        big = im.convert("RGBA").resize((im.width * scale, im.height * scale), Image.NEAREST)
        sheet.alpha_composite(big, (x, gap))
        x += big.width + gap
    sheet.convert("RGB").save(path)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--preview", metavar="DIR", help="also write enlarged PNGs here")
    args = ap.parse_args()

    sizes = (16, 32, 48)
    mains = [main_icon(s) for s in sizes]
    arrivals = [arrival_icon(s) for s in sizes]
    (OUT / "vello.ico").write_bytes(ico_bytes(mains))
    (OUT / "arrival.ico").write_bytes(ico_bytes(arrivals))
    (OUT / "icons").mkdir(exist_ok=True)
    for size in sizes + (64, 128, 256):
        icon = mains[sizes.index(size)] if size in sizes else main_icon(size)
        icon.save(OUT / "icons" / f"vello-{size}.png", optimize=True)
    strip = toolbar_strip()
    strip.save(OUT / "toolbar.bmp")
    version = version_picture()
    version.save(OUT / "version.bmp")

    if args.preview:
        p = Path(args.preview)
        p.mkdir(parents=True, exist_ok=True)
        for name, ims in (("vello", mains), ("arrival", arrivals)):
            for im in ims:
                preview([im], p / f"{name}_{im.width}.png", 8 if im.width < 48 else 6)
        preview(mains + arrivals, p / "icons_1x.png", 1)
        preview([mains[0], arrivals[0], mains[1], arrivals[1]], p / "icons_2x.png", 2)
        preview([strip], p / "toolbar_x8.png", 8)
        preview([strip], p / "toolbar_x1.png", 1)
        preview([version], p / "version.png", 1)
        preview([version.resize((73, 57), Image.NEAREST)], p / "version_73x57.png", 4)


if __name__ == "__main__":
    main()
