#!/usr/bin/python3
"""Draws Tapewren's four window images into assets/images/.

Needs Debian's python3-pil and fonts-wqy-microhei. Run it again after changing a drawing; the
results are committed, so neither the build nor the tests need this script or its packages.

  tapewren.ico           16 x 16 icon, 24-bit colour with a 1-bit mask
  expand.gif             16 x 16 GIF89a, 64-colour palette, index 0 transparent
  orbanet.gif            239 x 73 GIF87a, 256-colour palette
  hand.png, hand-mask.png  32 x 32 1-bit pointer; black = black in the cursor / opaque in the mask
"""

import struct
import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

OUT = Path(__file__).resolve().parent.parent / "assets" / "images"
CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
SCALE = 8  # small images are drawn large and scaled down, for smooth edges


def downscaled(big, size):
    return big.resize(size, Image.LANCZOS)


def make_icon():
    s = SCALE
    big = Image.new("RGBA", (16 * s, 16 * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    # loudspeaker: magnet box and cone
    d.rectangle([0.5 * s, 5.5 * s, 3.5 * s, 10.5 * s], fill=(70, 74, 84, 255))
    d.polygon([(3.5 * s, 5.5 * s), (7.5 * s, 1.5 * s), (7.5 * s, 14.5 * s), (3.5 * s, 10.5 * s)],
              fill=(45, 48, 56, 255))
    d.line([(7.5 * s, 1.5 * s), (7.5 * s, 14.5 * s)], fill=(150, 156, 170, 255), width=s)
    # record dot
    d.ellipse([9.2 * s, 4.6 * s, 15.8 * s, 11.2 * s], fill=(150, 10, 10, 255))
    d.ellipse([9.8 * s, 5.2 * s, 15.2 * s, 10.6 * s], fill=(228, 28, 28, 255))
    d.ellipse([10.8 * s, 6.0 * s, 12.6 * s, 7.6 * s], fill=(250, 150, 150, 255))
    small = downscaled(big, (16, 16))

    # ICO with one BMP image: BITMAPINFOHEADER of doubled height, BGR rows bottom-up, AND mask
    xor_rows, and_rows = [], []
    for y in reversed(range(16)):
        row, mask_bits = bytearray(), 0
        for x in range(16):
            r, g, b, a = small.getpixel((x, y))
            if a < 96:
                r = g = b = 0
                mask_bits |= 1 << (15 - x)
            row += bytes((b, g, r))
        xor_rows.append(bytes(row))
        and_rows.append(struct.pack(">HH", mask_bits, 0))  # rows padded to 32 bits
    pixels = b"".join(xor_rows) + b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    image = header + pixels
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 24, len(image), 6 + 16)
    (OUT / "tapewren.ico").write_bytes(icondir + entry + image)


def paletted(rgba, colours, transparent):
    """Quantizes an RGBA image onto white; with `transparent`, index 0 is the see-through colour."""
    flat = Image.new("RGB", rgba.size, (255, 255, 255))
    flat.paste(rgba, mask=rgba.getchannel("A"))
    if transparent:  # see-through pixels take the colour of a visible one: no palette slot wasted
        seen = [(x, y) for y in range(rgba.size[1]) for x in range(rgba.size[0])
                if rgba.getpixel((x, y))[3] >= 64]
        filler = flat.getpixel(seen[0])
        for y in range(rgba.size[1]):
            for x in range(rgba.size[0]):
                if rgba.getpixel((x, y))[3] < 64:
                    flat.putpixel((x, y), filler)
    usable = colours - 1 if transparent else colours
    quantized = flat.quantize(usable, method=Image.MEDIANCUT, dither=Image.NONE)
    palette = quantized.getpalette()[: usable * 3]
    palette += [0] * (usable * 3 - len(palette))
    shift = 1 if transparent else 0
    out = Image.new("P", rgba.size, 0)
    for y in range(rgba.size[1]):
        for x in range(rgba.size[0]):
            if transparent and rgba.getpixel((x, y))[3] < 64:
                continue
            out.putpixel((x, y), quantized.getpixel((x, y)) + shift)
    out.putpalette(([255, 255, 255] if transparent else []) + palette)
    return out


def make_arrow():
    s = SCALE
    big = Image.new("RGBA", (16 * s, 16 * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    blue, light = (24, 84, 200, 255), (90, 150, 240, 255)
    # shaft: an arc over the top from the left, bending down into the head on the right
    cx, cy, r = 6.9, 9.4, 5.0
    d.arc([(cx - r) * s, (cy - r) * s, (cx + r) * s, (cy + r) * s], 195, 360, fill=blue,
          width=int(2.6 * s))
    r -= 0.5
    d.arc([(cx - r) * s, (cy - r) * s, (cx + r) * s, (cy + r) * s], 215, 350, fill=light,
          width=int(0.7 * s))
    # head pointing down, centred on the end of the shaft (PIL strokes an arc inwards)
    hx = cx + 5.0 - 1.3
    d.polygon([((hx - 3.4) * s, 9.4 * s), ((hx + 3.4) * s, 9.4 * s), (hx * s, 15.5 * s)], fill=blue)
    d.polygon([((hx - 1.6) * s, 10.2 * s), ((hx + 1.6) * s, 10.2 * s), (hx * s, 13.4 * s)],
              fill=light)
    arrow = paletted(downscaled(big, (16, 16)), 64, transparent=True)
    arrow.save(OUT / "expand.gif", transparency=0, optimize=False)


def make_banner():
    w, h = 239, 73
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):  # evening-sky gradient
        t = y / (h - 1)
        d.line([(0, y), (w, y)], fill=(int(20 + 40 * t), int(24 + 20 * t), int(70 + 60 * t)))
    # logo: a film reel with a play mark
    s = 4
    logo = Image.new("RGBA", (64 * s, 64 * s), (0, 0, 0, 0))
    ld = ImageDraw.Draw(logo)
    ld.ellipse([2 * s, 2 * s, 62 * s, 62 * s], fill=(245, 160, 30, 255))
    ld.ellipse([7 * s, 7 * s, 57 * s, 57 * s], fill=(255, 200, 70, 255))
    for cx, cy in ((32, 15), (49, 32), (32, 49), (15, 32)):
        ld.ellipse([(cx - 6) * s, (cy - 6) * s, (cx + 6) * s, (cy + 6) * s],
                   fill=(40, 40, 90, 255))
    ld.polygon([(27 * s, 24 * s), (27 * s, 40 * s), (40 * s, 32 * s)], fill=(200, 30, 40, 255))
    logo = downscaled(logo, (56, 56))
    img.paste(logo, (8, 8), logo)
    font = ImageFont.truetype(CJK_FONT, 30)
    small = ImageFont.truetype(CJK_FONT, 11)
    d.text((72, 10), "Orba影视网", font=font, fill=(255, 255, 255))
    d.line([(73, 49), (228, 49)], fill=(245, 160, 30), width=1)
    d.text((73, 53), "www.orbanet.example", font=small, fill=(200, 210, 240))
    banner = paletted(img.convert("RGBA"), 256, transparent=False)
    banner.save(OUT / "orbanet.gif", optimize=False)


# The pointer, from row 9 down: X black, . white, blank transparent. The fingertip is (12, 9).
HAND_TOP = 9
HAND = [
    "           XXX",
    "          X...X",
    "          X...X",
    "          X...X",
    "          X...X",
    "          X...XXXX",
    "          X...X...XXXX",
    "          X...X...X...XXX",
    "      XXX X...X...X...X..X",
    "     X...XX...X...X...X..X",
    "     X....X...X...X...X..X",
    "      X..................X",
    "      X..................X",
    "       X.................X",
    "        X................X",
    "         X..............X",
    "          X.............X",
    "           X............X",
    "           XXXXXXXXXXXXXX",
    "           X............X",
    "           XXXXXXXXXXXXXX",
]


def make_hand():
    cursor = Image.new("1", (32, 32), 1)
    mask = Image.new("1", (32, 32), 1)
    for dy, row in enumerate(HAND):
        for x, ch in enumerate(row):
            if ch != " ":
                mask.putpixel((x, HAND_TOP + dy), 0)
                cursor.putpixel((x, HAND_TOP + dy), 0 if ch == "X" else 1)
    if mask.getpixel((12, 9)) != 0 or any(mask.getpixel((12, y)) == 0 for y in range(9)):
        sys.exit("hand: the hot spot (12, 9) must be the top of the finger")
    cursor.save(OUT / "hand.png")
    mask.save(OUT / "hand-mask.png")


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    make_icon()
    make_arrow()
    make_banner()
    make_hand()


if __name__ == "__main__":
    main()
