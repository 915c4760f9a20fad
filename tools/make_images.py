#!/usr/bin/env python3
"""Draws the program's pictures and writes them as XPM files into res/images/.

Every picture stands on magenta (#FF00FF), which the program treats as transparent. Each is also
drawn at twice the size as NAME@2x.xpm, for screens scaled to 150 % and more. Run it again
after changing a drawing and commit the script together with what it wrote:

    python3 tools/make_images.py
"""

import os
import sys

MAGENTA = "#FF00FF"


# How many pixels across one drawing unit covers in the pictures being drawn.
SCALE = 1


class Canvas:
    """A grid of colour names, (0, 0) at the top left, starting all transparent. Drawings give
    their coordinates in units of the 1x picture; each unit is SCALE pixels across."""

    def __init__(self, width, height):
        self.scale = SCALE
        self.width = width * SCALE
        self.height = height * SCALE
        self.pixels = [[None] * self.width for _ in range(self.height)]

    def put(self, x, y, colour):
        for dy in range(self.scale):
            for dx in range(self.scale):
                self.put_pixel(x * self.scale + dx, y * self.scale + dy, colour)

    def put_pixel(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def get(self, x, y):
        return self.get_pixel(x * self.scale, y * self.scale)

    def get_pixel(self, x, y):
        if 0 <= x < self.width and 0 <= y < self.height:
            return self.pixels[y][x]
        return None

    def rect(self, left, top, right, bottom, colour):
        """Fills the pixels from (left, top) to (right, bottom), both ends included."""
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                self.put(x, y, colour)

    def ellipse(self, cx, cy, rx, ry, colour):
        """Fills the pixels whose centres lie inside the ellipse."""
        for y in range(self.height):
            for x in range(self.width):
                dx = ((x + 0.5) / self.scale - cx) / rx
                dy = ((y + 0.5) / self.scale - cy) / ry
                if dx * dx + dy * dy <= 1.0:
                    self.put_pixel(x, y, colour)

    def polygon(self, points, colour):
        """Fills the pixels whose centres lie inside the polygon (even-odd rule)."""
        for y in range(self.height):
            for x in range(self.width):
                if inside(points, (x + 0.5) / self.scale, (y + 0.5) / self.scale):
                    self.put_pixel(x, y, colour)

    def art(self, left, top, rows, colours):
        """Copies character art: each character names a colour in `colours`; others are skipped."""
        for dy, row in enumerate(rows):
            for dx, char in enumerate(row):
                if char in colours:
                    self.put(left + dx, top + dy, colours[char])

    def outline(self, colour, only=None):
        """Recolours every painted pixel that touches a transparent one or the edge, so the shape
        keeps a dark rim one unit wide on any background. `only` limits it to pixels of those
        colours."""
        rim = []
        for y in range(self.height):
            for x in range(self.width):
                here = self.pixels[y][x]
                if here is None or (only is not None and here not in only):
                    continue
                reach = range(1, self.scale + 1)
                neighbours = [(x - k, y) for k in reach] + [(x + k, y) for k in reach]
                neighbours += [(x, y - k) for k in reach] + [(x, y + k) for k in reach]
                if any(self.get_pixel(nx, ny) is None for nx, ny in neighbours):
                    rim.append((x, y))
        for x, y in rim:
            self.put_pixel(x, y, colour)

    def mirrored(self):
        copy = Canvas(self.width // self.scale, self.height // self.scale)
        copy.pixels = [list(reversed(row)) for row in self.pixels]
        return copy


def inside(points, px, py):
    result = False
    count = len(points)
    for i in range(count):
        x1, y1 = points[i]
        x2, y2 = points[(i + 1) % count]
        if (y1 > py) != (y2 > py):
            crossing = x1 + (py - y1) * (x2 - x1) / (y2 - y1)
            if px < crossing:
                result = not result
    return result


def to_xpm(name, canvas):
    colours = []
    for row in canvas.pixels:
        for colour in row:
            colour = colour or MAGENTA
            if colour not in colours:
                colours.append(colour)
    # Magenta first, as a blank, so the art in the file stays readable.
    colours.remove(MAGENTA)
    colours.insert(0, MAGENTA)
    symbols = " .+@#$%&*=-;>,')!~{]^/(_:<[}|1234567890abcdefghijklmnopqrstuvwxyz"
    if len(colours) > len(symbols):
        raise ValueError(f"{name}: too many colours")
    symbol_of = {colour: symbols[i] for i, colour in enumerate(colours)}
    lines = [f"{canvas.width} {canvas.height} {len(colours)} 1"]
    lines += [f"{symbol_of[colour]} c {colour}" for colour in colours]
    for row in canvas.pixels:
        lines.append("".join(symbol_of[colour or MAGENTA] for colour in row))
    body = ",\n".join(f'"{line}"' for line in lines)
    identifier = name.replace(".", "_").replace("@", "_")
    return f"/* XPM */\nstatic const char *{identifier}[] = {{\n{body}\n}};\n"


def right_arrow():
    """A solid arrow in two greens, lighter above the middle, with a dark green rim."""
    canvas = Canvas(16, 16)
    shape = [(1, 5), (7, 5), (7, 0.5), (15, 8), (7, 15.5), (7, 11), (1, 11)]
    canvas.polygon(shape, "#2E9B3E")
    for y in range(8):
        for x in range(16):
            if canvas.get(x, y) is not None:
                canvas.put(x, y, "#4CC25A")
    canvas.outline("#0B4A17")
    return canvas


def tab_import():
    """An open yellow folder with a dark blue note in front of it."""
    canvas = Canvas(16, 16)
    canvas.rect(0, 3, 5, 4, "#E0A81C")
    canvas.rect(0, 4, 14, 14, "#F2C94C")
    canvas.rect(1, 7, 15, 14, "#F8DC7A")
    canvas.outline("#8A6410")
    note = {"n": "#1A3C8C"}
    canvas.art(6, 5, [
        "   nnnn",
        "   nnnn",
        "   n  n",
        "   n  n",
        "   n  n",
        " nnn nnn",
        "nnnnnnnn",
        " nn  nn",
    ], note)
    return canvas


def tab_edit():
    """A blue waveform, mirrored about a grey centre line."""
    canvas = Canvas(16, 16)
    heights = [1, 3, 5, 2, 6, 7, 4, 2, 5, 7, 3, 5, 2, 4, 1, 1]
    canvas.rect(0, 7, 15, 8, "#7A7A7A")
    for x, height in enumerate(heights):
        canvas.rect(x, 8 - height, x, 7 + height, "#1F5FBF")
        if height > 2:
            canvas.rect(x, 9 - height, x, 6 + height, "#4A8BE8")
    return canvas


def tab_save():
    """A blue floppy disk with a white label and a grey shutter."""
    canvas = Canvas(16, 16)
    canvas.polygon([(1, 1), (14, 1), (15, 2), (15, 15), (1, 15)], "#2F5FB0")
    canvas.outline("#132E5E")
    canvas.rect(4, 1, 11, 5, "#C8CCD4")
    canvas.rect(8, 2, 9, 4, "#2F5FB0")
    canvas.rect(3, 9, 12, 14, "#FFFFFF")
    canvas.rect(4, 11, 11, 11, "#9AA6BC")
    canvas.rect(4, 13, 11, 13, "#9AA6BC")
    return canvas


def program_icon():
    """A mobile phone whose screen shows an orange musical note."""
    canvas = Canvas(32, 32)
    body = "#38434F"
    canvas.rect(8, 1, 23, 30, body)
    for x, y in ((8, 1), (23, 1), (8, 30), (23, 30)):
        canvas.put(x, y, None)
    canvas.outline("#10151B")
    canvas.rect(10, 3, 21, 3, "#5B6775")
    canvas.rect(14, 3, 17, 3, "#10151B")
    canvas.rect(10, 5, 21, 17, "#0E2A40")
    canvas.rect(11, 6, 20, 16, "#9FD8F5")
    note = {"o": "#E8561A", "d": "#8A2A05"}
    canvas.art(12, 6, [
        "    dddd  ",
        "    dooodd",
        "    do ood",
        "    do  od",
        "    do   d",
        "    do    ",
        "    do    ",
        " dddod    ",
        "dooood    ",
        "dooood    ",
        " dddd     ",
    ], note)
    for row in range(3):
        for column in range(3):
            left = 11 + column * 4
            top = 20 + row * 3
            canvas.rect(left, top, left + 2, top + 1, "#C9D2DC")
    return canvas


PICTURES = {
    "orvanta.xpm": program_icon,
    "next.xpm": right_arrow,
    "previous.xpm": lambda: right_arrow().mirrored(),
    "tab_import.xpm": tab_import,
    "tab_edit.xpm": tab_edit,
    "tab_save.xpm": tab_save,
}


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = os.path.join(root, "res", "images")
    os.makedirs(folder, exist_ok=True)
    global SCALE
    for scale, suffix in ((1, ""), (2, "@2x")):
        SCALE = scale
        for name, draw in PICTURES.items():
            name = name.replace(".xpm", suffix + ".xpm")
            with open(os.path.join(folder, name), "w", encoding="ascii", newline="\n") as file:
                file.write(to_xpm(name, draw()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
