#!/usr/bin/env python3
"""Draws the four naming-pattern pictures of the settings dialog as 24-bit BMP files.

Each looks like a file manager's tree (or file list) on a white background: yellow
folder icons, names in dark text, children indented under their parent. Run it from
the repository root; it writes ui/bitmaps/pattern_[a-d].bmp.
"""
import struct
import sys

FONT = {  # 5x7 glyphs, one string per row, '#' is ink
    '0': [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    '1': ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    '2': [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    '3': ["####.", "....#", "....#", ".###.", "....#", "....#", "####."],
    '4': ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    '5': ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    '6': [".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."],
    '7': ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."],
    '8': [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
    '9': [".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."],
    'p': [".....", ".....", "####.", "#...#", "####.", "#....", "#...."],
    'l': [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    'a': [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    'n': [".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#"],
    'd': ["....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"],
    'w': [".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
    'g': [".....", ".####", "#...#", "#...#", ".####", "....#", ".###."],
    '_': [".....", ".....", ".....", ".....", ".....", ".....", "#####"],
    '.': [".....", ".....", ".....", ".....", ".....", ".##..", ".##.."],
}
WHITE, INK, YELLOW, FOLD, PAPER, LINE = (255, 255, 255), (32, 32, 32), (250, 204, 72), (214, 160, 32), (244, 244, 250), (70, 110, 190)
ROW = 20


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[WHITE] * w for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x, y, w, h, c):
        for j in range(h):
            for i in range(w):
                self.put(x + i, y + j, c)

    def text(self, x, y, s):
        for ch in s:
            for j, row in enumerate(FONT[ch]):
                for i, cell in enumerate(row):
                    if cell == '#':
                        self.put(x + i, y + j, INK)
            x += 6

    def folder(self, x, y):
        self.rect(x, y, 6, 2, FOLD)
        self.rect(x, y + 2, 14, 9, YELLOW)
        self.rect(x, y + 10, 14, 1, FOLD)

    def document(self, x, y):
        self.rect(x, y, 11, 14, PAPER)
        for j in range(14):
            self.put(x, y + j, INK)
            self.put(x + 10, y + j, INK)
        self.rect(x, y, 11, 1, INK)
        self.rect(x, y + 13, 11, 1, INK)
        for k in range(3):
            self.rect(x + 2, y + 4 + 3 * k, 7, 1, LINE)

    def triangle(self, x, y):
        for j in range(5):
            self.rect(x + j, y + j, 9 - 2 * j, 1, INK)

    def bmp(self):
        stride = (self.w * 3 + 3) & ~3
        body = bytearray()
        for y in range(self.h - 1, -1, -1):  # bottom-up
            row = bytearray()
            for (r, g, b) in self.px[y]:
                row += bytes((b, g, r))
            body += row + bytes(stride - len(row))
        header = struct.pack('<2sIHHI', b'BM', 54 + len(body), 0, 0, 54)
        info = struct.pack('<IiiHHIIiiII', 40, self.w, self.h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
        return header + info + bytes(body)


def tree(w, h, entries):
    """entries: (level, name, expanded) from top to bottom."""
    c = Canvas(w, h)
    for row, (level, name, expanded) in enumerate(entries):
        y = 6 + row * ROW
        x = 16 + level * 18
        if expanded:
            c.triangle(x - 13, y + 4)
        c.folder(x, y)
        c.text(x + 19, y + 3, name)
    return c


def files(w, h, names):
    c = Canvas(w, h)
    for row, name in enumerate(names):
        y = 6 + row * ROW
        c.document(8, y)
        c.text(26, y + 4, name)
    return c


def main():
    days = ['05', '06', '07', '08', '09']
    pictures = {
        'a': tree(206, 169, [(0, '2014', False), (0, '2015', False), (1, '01', False)] + [(2, d, False) for d in days]),
        'b': tree(206, 208, [(0, m, m == '201501') for m in ['201409', '201410', '201411', '201412', '201501']]
                  + [(1, d, False) for d in days]),
        'c': tree(206, 148, [(0, '2014', False), (0, '2015', True)] + [(1, '01' + d, False) for d in days]),
        'd': files(215, 194, ['plan_' + s + '.dwg' for s in
                              ['01051005', '01051035', '01051105', '01051135', '01061505',
                               '01061535', '01061605', '01070905', '01070935']]),
    }
    out = sys.argv[1] if len(sys.argv) > 1 else 'ui/bitmaps'
    for key, canvas in pictures.items():
        with open(f'{out}/pattern_{key}.bmp', 'wb') as f:
            f.write(canvas.bmp())


if __name__ == '__main__':
    main()
