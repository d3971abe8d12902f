#!/usr/bin/python3
"""Draws the program's pictures and writes them next to this script.

  vidazoz.ico   the program icon: 48, 32, 16 px at 8 bits (palette + mask),
                64, 48, 32, 16 px at 32 bits (alpha), in that order
  logo.bmp      64 x 64, 24-bit: the badge on the window colour
  download.bmp  20 x 20, 24-bit: a green rounded square, a white arrow into a tray
  icons/hicolor/<n>x<n>/apps/vidazoz.png   the 32-bit images for the desktop

Run with Debian's python3-pil: /usr/bin/python3 resources/make_pictures.py
"""
import io
import os
import struct

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
WINDOW = (225, 225, 225)
SCALE = 8  # drawn large, then area-averaged: smooth edges, no ringing into the background
FONT = "/usr/share/fonts/truetype/liberation/LiberationSans-BoldItalic.ttf"


def badge(size):
    """The glossy blue badge with a slanted .NET under a magnifying glass, RGBA."""
    n = size * SCALE
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    m = n // 32
    # Dark rim, then a vertical blue gradient inside it.
    d.ellipse((m, m, n - m - 1, n - m - 1), fill=(10, 40, 110, 255))
    inner = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    grad = ImageDraw.Draw(inner)
    for y in range(n):
        t = y / n
        grad.line((0, y, n, y), fill=(int(40 + 20 * t), int(120 - 60 * t), int(230 - 60 * t), 255))
    mask = Image.new("L", (n, n), 0)
    r = m + n // 20
    ImageDraw.Draw(mask).ellipse((r, r, n - r - 1, n - r - 1), fill=255)
    img.paste(inner, (0, 0), mask)
    # Gloss: a soft white ellipse over the upper half.
    gloss = Image.new("L", (n, n), 0)
    ImageDraw.Draw(gloss).ellipse((n * 0.18, n * 0.08, n * 0.82, n * 0.48), fill=110)
    gloss = gloss.filter(ImageFilter.GaussianBlur(n / 40))
    white = Image.new("RGBA", (n, n), (255, 255, 255, 255))
    img.paste(white, (0, 0), Image.composite(gloss, Image.new("L", (n, n), 0), mask))
    # Slanted ".NET".
    font = ImageFont.truetype(FONT, int(n * 0.30))
    text = ".NET"
    box = d.textbbox((0, 0), text, font=font)
    tw, th = box[2] - box[0], box[3] - box[1]
    tx, ty = (n - tw) / 2 - box[0], n * 0.56 - th / 2 - box[1]
    d.text((tx + n / 90, ty + n / 90), text, font=font, fill=(0, 20, 70, 255))
    d.text((tx, ty), text, font=font, fill=(255, 255, 255, 255))
    # Magnifying glass above the text: a ring with a light lens and a handle down to the right.
    cx, cy, rad = n * 0.42, n * 0.30, n * 0.15
    w = max(1, int(n * 0.045))
    d.ellipse((cx - rad, cy - rad, cx + rad, cy + rad), fill=(200, 230, 255, 120))
    d.ellipse((cx - rad, cy - rad, cx + rad, cy + rad), outline=(235, 235, 240, 255), width=w)
    hx, hy = cx + rad * 0.72, cy + rad * 0.72
    d.line((hx, hy, hx + n * 0.16, hy + n * 0.12), fill=(90, 60, 30, 255), width=int(w * 1.6))
    return img.resize((size, size), Image.BOX)


def download_arrow(size=20):
    n = size * SCALE
    img = Image.new("RGB", (n, n), WINDOW)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((SCALE // 2, SCALE // 2, n - SCALE // 2 - 1, n - SCALE // 2 - 1), radius=n // 5,
                        fill=(40, 160, 60), outline=(20, 100, 35), width=SCALE)
    white = (255, 255, 255)
    # Tray: a U at the bottom.
    t = int(SCALE * 1.6)
    d.line((n * 0.22, n * 0.62, n * 0.22, n * 0.80), fill=white, width=t)
    d.line((n * 0.22, n * 0.80, n * 0.78, n * 0.80), fill=white, width=t)
    d.line((n * 0.78, n * 0.62, n * 0.78, n * 0.80), fill=white, width=t)
    # Arrow pointing down into it.
    d.rectangle((n * 0.43, n * 0.16, n * 0.57, n * 0.48), fill=white)
    d.polygon([(n * 0.28, n * 0.44), (n * 0.72, n * 0.44), (n * 0.50, n * 0.70)], fill=white)
    return img.resize((size, size), Image.BOX)


def on_window(rgba):
    flat = Image.new("RGB", rgba.size, WINDOW)
    flat.paste(rgba, (0, 0), rgba)
    return flat


def and_mask(alpha, size):
    """The 1-bit AND mask of an icon image: set where the image is transparent; rows padded to 4 bytes."""
    stride = ((size + 31) // 32) * 4
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            if alpha.getpixel((x, y)) < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
    return b"".join(rows)


def dib_header(size, bits, colours=0):
    # Icon DIBs declare twice the height: the colour image, then the mask.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours, 0)


def icon_image_8bit(rgba, size):
    alpha = rgba.getchannel("A")
    opaque = on_window(rgba).quantize(colors=256, method=Image.MEDIANCUT, dither=Image.NONE)
    palette = opaque.getpalette()[: 256 * 3]
    palette += [0] * (256 * 3 - len(palette))
    quad = b"".join(bytes((palette[i * 3 + 2], palette[i * 3 + 1], palette[i * 3], 0)) for i in range(256))
    stride = (size + 3) // 4 * 4
    pixels = b"".join(bytes(opaque.getpixel((x, y)) for x in range(size)) + bytes(stride - size)
                      for y in range(size - 1, -1, -1))
    return dib_header(size, 8, 256) + quad + pixels + and_mask(alpha, size)


def icon_image_32bit(rgba, size):
    pixels = b"".join(bytes((b, g, r, a)) for y in range(size - 1, -1, -1)
                      for (r, g, b, a) in (rgba.getpixel((x, y)) for x in range(size)))
    return dib_header(size, 32) + pixels + and_mask(rgba.getchannel("A"), size)


def write_ico(path, images):
    """images: (size, bits, dib bytes), in directory order."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, bits, data in images:
        colours = 0  # 0 also for 256: the byte cannot hold it
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        blobs += data
        offset += len(data)
    with open(path, "wb") as f:
        f.write(head + entries + blobs)


def main():
    badges = {s: badge(s) for s in (64, 48, 32, 16)}
    images = [(s, 8, icon_image_8bit(badges[s], s)) for s in (48, 32, 16)]
    images += [(s, 32, icon_image_32bit(badges[s], s)) for s in (64, 48, 32, 16)]
    write_ico(os.path.join(HERE, "vidazoz.ico"), images)
    on_window(badges[64]).save(os.path.join(HERE, "logo.bmp"))
    download_arrow().save(os.path.join(HERE, "download.bmp"))
    for s, img in badges.items():
        folder = os.path.join(HERE, "icons", "hicolor", f"{s}x{s}", "apps")
        os.makedirs(folder, exist_ok=True)
        buf = io.BytesIO()
        img.save(buf, "PNG", optimize=True)
        with open(os.path.join(folder, "vidazoz.png"), "wb") as f:
            f.write(buf.getvalue())


if __name__ == "__main__":
    main()
