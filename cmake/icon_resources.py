#!/usr/bin/python3
"""Splits an .ico file into the raw RT_ICON images and the RT_GROUP_ICON directory that a
resource script includes as user-defined resources of types 3 and 14. windres' ICON statement
numbers the images itself; this keeps the identifiers ours.

  icon_resources.py ICO OUTDIR FIRST_ID WxH@BPP...

Writes OUTDIR/icon_<id>.bin for each listed image, in the order listed, with ids from FIRST_ID,
and OUTDIR/icon_group.bin naming them in the same order. Fails unless the file holds exactly
the listed images.
"""
import os
import struct
import sys


def read_icon(path):
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1 or count == 0:
        sys.exit(f"{path}: not an icon file")
    images = {}
    for i in range(count):
        w, h, colours, _, planes, bpp, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        if offset + size > len(data):
            sys.exit(f"{path}: image {i} runs past the end of the file")
        image = data[offset:offset + size]
        if bpp == 0 and image[:4] == struct.pack("<I", 40):
            bpp = struct.unpack_from("<H", image, 14)[0]  # the bitmap header knows
        key = (w or 256, h or 256, bpp)
        if key in images:
            sys.exit(f"{path}: two images of {key}")
        images[key] = (w, h, colours, planes, bpp, image)
    return images


def main(argv):
    if len(argv) < 5:
        sys.exit(__doc__)
    path, outdir, first = argv[1], argv[2], int(argv[3])
    wanted = []
    for image in argv[4:]:
        size, bpp = image.split("@")
        w, h = size.split("x")
        wanted.append((int(w), int(h), int(bpp)))
    images = read_icon(path)
    if sorted(images) != sorted(wanted):
        sys.exit(f"{path}: holds {sorted(images)}, expected {sorted(wanted)}")
    os.makedirs(outdir, exist_ok=True)
    group = struct.pack("<HHH", 0, 1, len(wanted))
    for n, key in enumerate(wanted):
        w, h, colours, planes, bpp, image = images[key]
        ident = first + n
        with open(os.path.join(outdir, f"icon_{ident}.bin"), "wb") as f:
            f.write(image)
        group += struct.pack("<BBBBHHIH", w, h, colours, 0, planes, bpp, len(image), ident)
    with open(os.path.join(outdir, "icon_group.bin"), "wb") as f:
        f.write(group)


if __name__ == "__main__":
    main(sys.argv)
