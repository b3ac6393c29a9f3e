#!/usr/bin/env python3
"""Draws the program's icons and animation clip and encodes the time-limit items of the recorder
dialog, writing them into res/. Standard library only; the output is the same bytes on every run.

    tools/gen_resources.py           write the files
    tools/gen_resources.py --check   report files that differ from what would be written
"""
import struct
import sys
from pathlib import Path

RES = Path(__file__).resolve().parent.parent / "res"

# --- Pictures ---------------------------------------------------------------------------------


class Canvas:
    """A grid of palette indices; None is a transparent pixel (icons only)."""

    def __init__(self, width, height, fill=None):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.rect(x0, y0, x1, y0, colour)
        self.rect(x0, y1, x1, y1, colour)
        self.rect(x0, y0, x0, y1, colour)
        self.rect(x1, y0, x1, y1, colour)

    def disc(self, cx, cy, r, colour):
        """Pixels whose centre lies within r of (cx, cy); cx and cy may be halves."""
        for y in range(self.height):
            for x in range(self.width):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.put(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), colour)


# The 16-colour palette of the icons, as (red, green, blue).
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, NAVY, SILVER, GREY, RED, YELLOW, BLUE, WHITE = 0, 1, 4, 7, 8, 9, 11, 12, 15


def film_clock_icon(size):
    """Program icon: a frame of film with a clock in it."""
    c = Canvas(size, size)
    s = size / 32
    edge, far = round(2 * s), size - 1 - round(2 * s)
    c.rect(edge, round(3 * s), far, size - 1 - round(3 * s), BLACK)
    hole = max(1, round(2 * s))
    for x in range(edge + round(2 * s), far - hole + 1, round(5 * s)):
        c.rect(x, round(4 * s), x + hole - 1, round(4 * s) + hole - 1, WHITE)
        c.rect(x, size - 1 - round(4 * s) - hole + 1, x + hole - 1, size - 1 - round(4 * s), WHITE)
    centre = (size - 1) / 2
    c.disc(centre, centre, 9.5 * s, YELLOW)
    c.disc(centre, centre, 8.3 * s, WHITE)
    mid = size // 2
    c.line(mid, mid, mid, mid - round(6 * s), BLACK)
    c.line(mid, mid, mid + round(4 * s), mid, NAVY)
    c.put(mid, mid, RED)
    return c


def camera_icon(dot=None):
    """Notification-area icon: a small film camera; while recording, a red dot stands at one of
    three places around it, so stepping through them shows motion."""
    c = Canvas(32, 32)
    c.disc(10.5, 9.5, 5, GREY)     # film reels
    c.disc(10.5, 9.5, 1.5, BLACK)
    c.disc(20.5, 9.5, 5, GREY)
    c.disc(20.5, 9.5, 1.5, BLACK)
    c.rect(5, 15, 24, 26, BLACK)   # body
    c.rect(6, 16, 23, 25, SILVER)
    c.rect(25, 17, 30, 24, BLACK)  # lens
    c.rect(26, 18, 29, 23, BLUE)
    if dot is not None:
        cx, cy = [(3.5, 3.5), (27.5, 3.5), (27.5, 28)][dot]
        c.disc(cx, cy, 3.6, MAROON)
        c.disc(cx, cy, 2.7, RED)
    return c


def icon_image(canvas):
    """One icon image: a 4-bit DIB header twice as high as the picture, the colours, the XOR
    pixels and the AND mask, both bottom-up."""
    w, h = canvas.width, canvas.height
    xor_stride = (w * 4 + 31) // 32 * 4
    and_stride = (w + 31) // 32 * 4
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 4, 0, (xor_stride + and_stride) * h, 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA)
    xor_rows, and_rows = [], []
    for row in reversed(canvas.pixels):
        nibbles = [0 if p is None else p for p in row]
        packed = bytes((nibbles[i] << 4) | (nibbles[i + 1] if i + 1 < w else 0) for i in range(0, w, 2))
        xor_rows.append(packed.ljust(xor_stride, b"\0"))
        bits = 0
        for x, p in enumerate(row):
            if p is None:
                bits |= 1 << (and_stride * 8 - 1 - x)
        and_rows.append(bits.to_bytes(and_stride, "big"))
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def ico_file(canvases):
    images = [icon_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        out += struct.pack("<BBBBHHII", canvas.width % 256, canvas.height % 256, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


# --- Animation clip ---------------------------------------------------------------------------

CLIP_W, CLIP_H, CLIP_FRAMES = 80, 48, 5
CLIP_FILE_SIZE = 23424      # the RIFF file
CLIP_RESOURCE_SIZE = 23552  # the resource: the file and zero bytes
FIRST_FRAME_OFFSET = 4096   # the header is padded so that the pictures start on this boundary

# Palette entries of the clip; 255 is the white background that the transparent style removes.
C_BLACK, C_STRIP, C_HOLE, C_CELL, C_RED, C_TITLE, C_CLIENT, C_FRAME, C_DARKRED = 0, 1, 2, 3, 4, 5, 6, 7, 8
C_WHITE = 255
CLIP_COLOURS = {
    C_BLACK: (0, 0, 0), C_STRIP: (64, 64, 64), C_HOLE: (224, 224, 224), C_CELL: (160, 200, 224),
    C_RED: (255, 0, 0), C_TITLE: (0, 0, 160), C_CLIENT: (192, 192, 192), C_FRAME: (96, 96, 96),
    C_DARKRED: (160, 0, 0), C_WHITE: (255, 255, 255),
}

STRIP_TOP, STRIP_BOTTOM = 26, 45
CELL_PITCH, CELL_W = 22, 16


def clip_frame(step):
    """Frames 0-2: a small window slides down into the middle cell of a film strip; 3: that cell
    turns red; 4: the strip advances one cell to the left."""
    c = Canvas(CLIP_W, CLIP_H, C_WHITE)
    shift = CELL_PITCH if step == 4 else 0
    c.rect(0, STRIP_TOP, CLIP_W - 1, STRIP_BOTTOM, C_STRIP)
    for x in range(-shift % 7 + 1, CLIP_W, 7):
        c.rect(x, STRIP_TOP + 2, x + 2, STRIP_TOP + 3, C_HOLE)
        c.rect(x, STRIP_BOTTOM - 3, x + 2, STRIP_BOTTOM - 2, C_HOLE)
    target = 1
    for cell in range(-1, 5):
        x0 = 7 + cell * CELL_PITCH - shift
        red = step >= 3 and cell == target
        c.rect(x0, STRIP_TOP + 5, x0 + CELL_W - 1, STRIP_BOTTOM - 5, C_RED if red else C_CELL)
        if red:
            c.frame(x0, STRIP_TOP + 5, x0 + CELL_W - 1, STRIP_BOTTOM - 5, C_DARKRED)
    if step <= 2:
        # The window: 14 x 10, title bar on top; it ends inside the middle cell.
        end_x, end_y = 7 + target * CELL_PITCH + 1, STRIP_TOP + 6
        start_x, start_y = 3, 3
        x = start_x + (end_x - start_x) * step // 2
        y = start_y + (end_y - start_y) * step // 2
        c.rect(x, y, x + 13, y + 9, C_FRAME)
        c.rect(x + 1, y + 1, x + 12, y + 2, C_TITLE)
        c.rect(x + 1, y + 3, x + 12, y + 8, C_CLIENT)
        c.rect(x + 11, y + 1, x + 12, y + 2, C_HOLE)
    return bytes(p for row in reversed(c.pixels) for p in row)


def chunk(fourcc, data):
    out = fourcc + struct.pack("<I", len(data)) + data
    return out + b"\0" if len(data) % 2 else out


def riff_list(fourcc, kind, body):
    return fourcc + struct.pack("<I", 4 + len(body)) + kind + body


def clip_avi():
    frame_bytes = CLIP_W * CLIP_H
    fps = 10
    avih = struct.pack("<10I4I", 1000000 // fps, frame_bytes * fps, 0, 0x10, CLIP_FRAMES, 0, 1, frame_bytes,
                       CLIP_W, CLIP_H, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, fps, 0, CLIP_FRAMES, frame_bytes,
                       0xFFFFFFFF, 0, 0, 0, CLIP_W, CLIP_H)
    bih = struct.pack("<IiiHHIIiiII", 40, CLIP_W, CLIP_H, 1, 8, 0, frame_bytes, 0, 0, 256, 0)
    palette = b"".join(struct.pack("<BBBB", *reversed(CLIP_COLOURS.get(i, (0, 0, 0))), 0) for i in range(256))
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", bih + palette))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)

    frames = [chunk(b"00db", clip_frame(i)) for i in range(CLIP_FRAMES)]
    movi = riff_list(b"LIST", b"movi", b"".join(frames))
    index = b"".join(struct.pack("<4sIII", b"00db", 0x10, 4 + i * len(frames[0]), frame_bytes)
                     for i in range(CLIP_FRAMES))

    head = b"AVI " + hdrl
    junk_size = FIRST_FRAME_OFFSET - 12 - 8 - len(head) - 8
    body = head + chunk(b"JUNK", bytes(junk_size)) + movi + chunk(b"idx1", index)
    avi = b"RIFF" + struct.pack("<I", len(body)) + body
    assert len(avi) == CLIP_FILE_SIZE, len(avi)
    assert avi.index(b"00db") == FIRST_FRAME_OFFSET
    return avi.ljust(CLIP_RESOURCE_SIZE, b"\0")


# --- Time-limit items -------------------------------------------------------------------------

TIME_LIMIT_CONTROL = 1013
LEGACY_COMBO_ADD_STRING = 0x0403
TIME_LIMIT_ITEMS = ["無制限"] + [f"{h / 2:g}時間" for h in range(1, 13)]


def dialog_init_data():
    out = b""
    for text in TIME_LIMIT_ITEMS:
        encoded = text.encode("cp932") + b"\0"
        out += struct.pack("<HHI", TIME_LIMIT_CONTROL, LEGACY_COMBO_ADD_STRING, len(encoded)) + encoded
    return out + struct.pack("<H", 0)


# --- Output -----------------------------------------------------------------------------------


def outputs():
    return {
        "mirvox.ico": ico_file([film_clock_icon(32), film_clock_icon(16)]),
        "tray_idle.ico": ico_file([camera_icon()]),
        "tray_rec0.ico": ico_file([camera_icon(0)]),
        "tray_rec1.ico": ico_file([camera_icon(1)]),
        "tray_rec2.ico": ico_file([camera_icon(2)]),
        "clip.avi": clip_avi(),
        "dlginit_102.bin": dialog_init_data(),
    }


def main():
    check = "--check" in sys.argv[1:]
    stale = []
    for name, data in outputs().items():
        path = RES / name
        if check:
            if not path.exists() or path.read_bytes() != data:
                stale.append(name)
        else:
            path.write_bytes(data)
    for name in stale:
        print(f"{name} differs from the generator's output", file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
