#!/usr/bin/env python3
"""Draws the sample catalogue's pictures: a coloured card with its number in large digits.

Writes PPM files and turns them into JPEGs with cjpeg (Debian libjpeg-turbo-progs):
    python3 examples/make_pictures.py
"""
import os
import subprocess

FONT = {  # 5x7 digits
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "6": ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
}

# name, width, height, card colour, label
PICTURES = [
    ("wrapper", 360, 240, (200, 60, 60), "0"),
    ("p1", 240, 340, (60, 120, 200), "1"),
    ("p2a", 340, 240, (60, 170, 90), "2"),
    ("p2b", 240, 340, (90, 200, 120), "2"),
    ("p4", 240, 340, (220, 160, 40), "4"),
    ("p5", 340, 240, (150, 80, 190), "5"),
    ("p6", 240, 340, (40, 170, 180), "6"),
    ("p7", 240, 340, (200, 100, 140), "7"),
]


def draw(width, height, colour, label):
    pixels = bytearray()
    scale = min(width, height) // 12
    text_w = len(label) * 6 * scale
    left = (width - text_w) // 2
    top = (height - 7 * scale) // 2
    for y in range(height):
        for x in range(width):
            border = x < 6 or y < 6 or x >= width - 6 or y >= height - 6
            ink = False
            gx, gy = (x - left) // scale, (y - top) // scale
            if 0 <= gy < 7 and 0 <= x - left < text_w:
                glyph = FONT[label[gx // 6]]
                column = gx % 6
                ink = column < 5 and glyph[gy][column] == "1"
            if border or ink:
                pixels += bytes((250, 250, 245))
            else:
                shade = 40 * y // height
                pixels += bytes(max(0, c - shade) for c in colour)
    return pixels


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, width, height, colour, label in PICTURES:
        ppm = os.path.join(here, "pictures", name + ".ppm")
        with open(ppm, "wb") as out:
            out.write(b"P6 %d %d 255\n" % (width, height))
            out.write(draw(width, height, colour, label))
        jpg = os.path.join(here, "pictures", name + ".jpg")
        subprocess.run(["cjpeg", "-quality", "85", "-outfile", jpg, ppm], check=True)
        os.remove(ppm)


if __name__ == "__main__":
    main()
