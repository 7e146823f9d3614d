#!/usr/bin/python3
"""Draws Tapewren's desktop icon for the hicolor theme into assets/icons/.

The same loudspeaker and red record dot as the window icon (assets/images/tapewren.ico), drawn on
a 16-unit grid and rendered at every size the desktop asks for, plus the scalable SVG. Needs
Debian's python3-pil. The results are committed; the build and the package only copy them.
"""

from pathlib import Path

from PIL import Image, ImageDraw

OUT = Path(__file__).resolve().parent
SIZES = (16, 24, 32, 48, 64, 128, 256)
SUPERSAMPLE = 8  # drawn large and scaled down, for smooth edges

BOX = (70, 74, 84)
CONE = (45, 48, 56)
RIM = (150, 156, 170)
DOT_EDGE = (150, 10, 10)
DOT = (228, 28, 28)
GLEAM = (250, 150, 150)


def draw(size):
    s = size * SUPERSAMPLE / 16  # one grid unit in pixels of the large drawing
    big = Image.new("RGBA", (round(16 * s),) * 2, (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    d.rectangle([0.5 * s, 5.5 * s, 3.5 * s, 10.5 * s], fill=BOX + (255,))
    d.polygon([(3.5 * s, 5.5 * s), (7.5 * s, 1.5 * s), (7.5 * s, 14.5 * s), (3.5 * s, 10.5 * s)],
              fill=CONE + (255,))
    d.line([(7.5 * s, 1.5 * s), (7.5 * s, 14.5 * s)], fill=RIM + (255,), width=max(1, round(s)))
    d.ellipse([9.2 * s, 4.6 * s, 15.8 * s, 11.2 * s], fill=DOT_EDGE + (255,))
    d.ellipse([9.8 * s, 5.2 * s, 15.2 * s, 10.6 * s], fill=DOT + (255,))
    d.ellipse([10.8 * s, 6.0 * s, 12.6 * s, 7.6 * s], fill=GLEAM + (255,))
    return big.resize((size, size), Image.LANCZOS)


def rgb(colour):
    return "#%02x%02x%02x" % colour


def svg():
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 16 16">
  <rect x="0.5" y="5.5" width="3" height="5" fill="{rgb(BOX)}"/>
  <polygon points="3.5,5.5 7.5,1.5 7.5,14.5 3.5,10.5" fill="{rgb(CONE)}"/>
  <line x1="7.5" y1="1.5" x2="7.5" y2="14.5" stroke="{rgb(RIM)}" stroke-width="1"/>
  <circle cx="12.5" cy="7.9" r="3.3" fill="{rgb(DOT_EDGE)}"/>
  <circle cx="12.5" cy="7.9" r="2.7" fill="{rgb(DOT)}"/>
  <ellipse cx="11.7" cy="6.8" rx="0.9" ry="0.8" fill="{rgb(GLEAM)}"/>
</svg>
"""


def main():
    for size in SIZES:
        folder = OUT / f"{size}x{size}"
        folder.mkdir(exist_ok=True)
        draw(size).save(folder / "tapewren.png", optimize=True)
    (OUT / "scalable").mkdir(exist_ok=True)
    (OUT / "scalable" / "tapewren.svg").write_text(svg(), encoding="utf-8")


if __name__ == "__main__":
    main()
