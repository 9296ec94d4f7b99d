#!/usr/bin/python3
"""Draws the pictures that the resource files name.

The resource files are the one list of pictures: every <file> entry that lies
below the icons directory is drawn here, chosen by its file name. Pictures
are drawn four times larger and scaled down, which gives clean edges.

usage: draw_icons.py ICONS_DIR FONT_FILE STAMP_FILE QRC_FILE...
"""
import math
import os
import sys
import xml.etree.ElementTree as ElementTree

from PIL import Image, ImageDraw, ImageFont

SCALE = 4
BRANDS = {
    "zorva_plugin": {"color": (21, 101, 192), "letter": "Z"},
    "civara_plugin": {"color": (106, 27, 154), "letter": "Ц"},
}
GREY = (150, 150, 150)
LIGHT_GREY = (215, 215, 215)
WHITE = (255, 255, 255)
GREEN = (46, 160, 67)
RED = (211, 47, 47)
AMBER = (245, 166, 35)
FILE_COLORS = {
    (33, 99, 191): "doc docx rtf txt htm html xml",
    (28, 135, 72): "xls csv ods",
    (200, 40, 40): "pdf ppt pps",
    (130, 60, 170): "bmp gif jpg png pcx tif",
    (140, 95, 50): "gz rar tgz zip",
    (230, 120, 20): "avi flv mkv mov mp4 mpg",
    (0, 128, 128): "crt csr key sig xml+sig",
    (90, 90, 90): "exe run unw error",
}
FILE_LABELS = {"xml+sig": "XSIG", "unw": "FILE", "error": "!"}


class Canvas:
    """A square picture drawn at SCALE times its size."""

    def __init__(self, size, font_file):
        self.size = size
        self.image = Image.new("RGBA", (size * SCALE, size * SCALE), (0, 0, 0, 0))
        self.draw = ImageDraw.Draw(self.image)
        self.font_file = font_file

    def box(self, left, top, right, bottom):
        """Scales a box given in fractions of the size."""
        full = self.size * SCALE
        return [left * full, top * full, right * full, bottom * full]

    def points(self, *fractions):
        full = self.size * SCALE
        return [(x * full, y * full) for x, y in fractions]

    def width(self, fraction):
        return max(1, round(fraction * self.size * SCALE))

    def text(self, text, centre, height, color):
        font = ImageFont.truetype(self.font_file, max(1, round(height * self.size * SCALE)))
        x, y = self.points(centre)[0]
        self.draw.text((x, y), text, font=font, fill=color, anchor="mm")

    def result(self):
        return self.image.resize((self.size, self.size), Image.LANCZOS)


def logo(canvas, brand):
    canvas.draw.rounded_rectangle(
        canvas.box(0.02, 0.02, 0.98, 0.98), radius=canvas.width(0.2), fill=brand["color"]
    )
    canvas.text(brand["letter"], (0.5, 0.5), 0.72, WHITE)


def find(canvas, brand):
    canvas.draw.ellipse(canvas.box(0.1, 0.1, 0.66, 0.66), outline=brand["color"],
                        width=canvas.width(0.12))
    canvas.draw.line(canvas.points((0.6, 0.6), (0.9, 0.9)), fill=brand["color"],
                     width=canvas.width(0.16))


def attention(canvas, brand):
    canvas.draw.polygon(canvas.points((0.5, 0.06), (0.96, 0.92), (0.04, 0.92)), fill=AMBER)
    canvas.text("!", (0.5, 0.6), 0.6, WHITE)


def token(canvas, brand):
    canvas.draw.rounded_rectangle(canvas.box(0.28, 0.3, 0.72, 0.96), radius=canvas.width(0.08),
                                  fill=brand["color"])
    canvas.draw.rectangle(canvas.box(0.36, 0.04, 0.64, 0.32), outline=GREY,
                          width=canvas.width(0.06))
    canvas.draw.ellipse(canvas.box(0.44, 0.58, 0.56, 0.7), fill=WHITE)


def badge(canvas, color, mark):
    canvas.draw.ellipse(canvas.box(0.04, 0.04, 0.96, 0.96), fill=color)
    mark(canvas, WHITE, 0.1)


def check_mark(canvas, color, width):
    canvas.draw.line(canvas.points((0.26, 0.52), (0.43, 0.68), (0.74, 0.34)), fill=color,
                     width=canvas.width(width), joint="curve")


def cross_mark(canvas, color, width):
    canvas.draw.line(canvas.points((0.3, 0.3), (0.7, 0.7)), fill=color, width=canvas.width(width))
    canvas.draw.line(canvas.points((0.7, 0.3), (0.3, 0.7)), fill=color, width=canvas.width(width))


def checkbox(canvas, fill, border, mark_color):
    canvas.draw.rounded_rectangle(canvas.box(0.06, 0.06, 0.94, 0.94), radius=canvas.width(0.16),
                                  fill=fill, outline=border, width=canvas.width(0.08))
    if mark_color:
        check_mark(canvas, mark_color, 0.12)


def chevron(canvas, color, up):
    top, bottom = (0.34, 0.66) if up else (0.66, 0.34)
    canvas.draw.line(canvas.points((0.22, bottom), (0.5, top), (0.78, bottom)), fill=color,
                     width=canvas.width(0.12), joint="curve")


def file_type(canvas, kind):
    color = next(c for c, kinds in FILE_COLORS.items() if kind in kinds.split())
    canvas.draw.polygon(canvas.points((0.16, 0.04), (0.64, 0.04), (0.86, 0.26), (0.86, 0.96),
                                      (0.16, 0.96)), fill=WHITE, outline=GREY)
    canvas.draw.polygon(canvas.points((0.64, 0.04), (0.64, 0.26), (0.86, 0.26)), fill=LIGHT_GREY)
    canvas.draw.rectangle(canvas.box(0.04, 0.52, 0.8, 0.84), fill=color)
    label = FILE_LABELS.get(kind, kind.upper())
    canvas.text(label, (0.42, 0.685), 0.26 if len(label) < 4 else 0.2, WHITE)


def loader_frames(brand, font_file):
    """A ring of dots whose bright dot walks round."""
    frames = []
    for step in range(8):
        canvas = Canvas(32, font_file)
        for dot in range(8):
            angle = 2 * math.pi * dot / 8
            x, y = 0.5 + 0.34 * math.sin(angle), 0.5 - 0.34 * math.cos(angle)
            fade = ((dot - step) % 8) / 8
            color = tuple(round(c + (255 - c) * fade * 0.85) for c in brand["color"])
            canvas.draw.ellipse(canvas.box(x - 0.09, y - 0.09, x + 0.09, y + 0.09), fill=color)
        frames.append(canvas.result())
    return frames


def save_loader(path, brand, font_file):
    frames = [frame.convert("RGB") for frame in loader_frames(brand, font_file)]
    frames[0].save(path, save_all=True, append_images=frames[1:], duration=90, loop=0)


def save_ico(path, brand, font_file):
    canvas = Canvas(128, font_file)
    logo(canvas, brand)
    canvas.result().save(path, sizes=[(16, 16), (32, 32), (48, 48), (64, 64), (128, 128)])


BRAND_PICTURES = {
    "find.png": (24, find),
    "attention.png": (24, attention),
    "token.png": (24, token),
    "ok.png": (24, lambda c, b: badge(c, GREEN, check_mark)),
    "error.png": (24, lambda c, b: badge(c, RED, cross_mark)),
    "clear.png": (16, lambda c, b: cross_mark(c, GREY, 0.12)),
    "clearWrong.png": (16, lambda c, b: cross_mark(c, RED, 0.12)),
    "checkbox_selected.png": (16, lambda c, b: checkbox(c, b["color"], b["color"], WHITE)),
    "checkbox_selected_disabled.png": (16, lambda c, b: checkbox(c, GREY, GREY, WHITE)),
    "checkbox_unselected.png": (16, lambda c, b: checkbox(c, WHITE, GREY, None)),
    "checkbox_unselected_disabled.png": (16, lambda c, b: checkbox(c, LIGHT_GREY, GREY, None)),
    "arrow_up.png": (16, lambda c, b: chevron(c, b["color"], True)),
    "arrow_down.png": (16, lambda c, b: chevron(c, b["color"], False)),
    "arrow_up_default.png": (16, lambda c, b: chevron(c, b["color"], True)),
    "arrow_down_default.png": (16, lambda c, b: chevron(c, b["color"], False)),
    "arrow_up_disabled.png": (16, lambda c, b: chevron(c, GREY, True)),
    "arrow_down_disabled.png": (16, lambda c, b: chevron(c, GREY, False)),
}


def draw_brand_picture(path, brand, font_file):
    name = os.path.basename(path)
    if name == "loader.gif":
        return save_loader(path, brand, font_file)
    if name == "icon.ico":
        return save_ico(path, brand, font_file)
    if name.startswith("logo_"):
        size, painter = int(name[5:].split("x")[0]), logo
    else:
        size, painter = BRAND_PICTURES[name]
    canvas = Canvas(size, font_file)
    painter(canvas, brand)
    canvas.result().save(path)


def draw(path, font_file):
    folder = os.path.basename(os.path.dirname(path))
    if folder == "file_extension":
        canvas = Canvas(32, font_file)
        file_type(canvas, os.path.splitext(os.path.basename(path))[0])
        canvas.result().save(path)
    else:
        draw_brand_picture(path, BRANDS[folder], font_file)


def main(icons_dir, font_file, stamp_file, qrc_files):
    for qrc_file in qrc_files:
        for entry in ElementTree.parse(qrc_file).iter("file"):
            path = entry.text.strip()
            if os.path.dirname(os.path.dirname(path)) != icons_dir:
                continue
            os.makedirs(os.path.dirname(path), exist_ok=True)
            draw(path, font_file)
    with open(stamp_file, "w", encoding="ascii"):
        pass


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:])
