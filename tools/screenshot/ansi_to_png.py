#!/usr/bin/python3
"""Renders a terminal capture (tmux capture-pane -e -p: text with SGR colour sequences) to
a PNG that looks like a terminal window: a title bar with the terminal's title, the cells
in a monospaced font, and the cursor where the terminal had it.

Usage: ansi_to_png.py CAPTURE OUT.png --size COLSxROWS [--title TEXT] [--cursor X,Y]
Needs Debian's python3-pil and fonts-dejavu-core.
"""
import argparse
import re

from PIL import Image, ImageDraw, ImageFont

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"
FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf"
FONT_TITLE = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
FONT_SIZE = 20

# The sixteen colours of a VGA-like palette: 30-37 / 40-47, then the bright 90-97 / 100-107.
PALETTE = [
    (0, 0, 0), (170, 0, 0), (0, 170, 0), (170, 85, 0),
    (0, 0, 170), (170, 0, 170), (0, 170, 170), (170, 170, 170),
    (85, 85, 85), (255, 85, 85), (85, 255, 85), (255, 255, 85),
    (85, 85, 255), (255, 85, 255), (85, 255, 255), (255, 255, 255),
]
DEFAULT_FG = (208, 208, 208)
DEFAULT_BG = (24, 24, 28)
TITLE_BAR = (54, 56, 62)
TITLE_TEXT = (220, 222, 228)
FRAME = (36, 37, 42)

SGR = re.compile(r"\x1b\[([0-9;]*)m")


def xterm_256(n):
    if n < 16:
        return PALETTE[n]
    if n < 232:
        n -= 16
        steps = [0, 95, 135, 175, 215, 255]
        return (steps[n // 36], steps[(n // 6) % 6], steps[n % 6])
    grey = 8 + (n - 232) * 10
    return (grey, grey, grey)


def apply_sgr(params, state):
    values = [int(p) if p else 0 for p in params.split(";")] if params else [0]
    i = 0
    while i < len(values):
        v = values[i]
        if v == 0:
            state.update(fg=None, bg=None, bold=False)
        elif v == 1:
            state["bold"] = True
        elif v == 22:
            state["bold"] = False
        elif 30 <= v <= 37:
            state["fg"] = PALETTE[v - 30]
        elif 90 <= v <= 97:
            state["fg"] = PALETTE[v - 90 + 8]
        elif v == 39:
            state["fg"] = None
        elif 40 <= v <= 47:
            state["bg"] = PALETTE[v - 40]
        elif 100 <= v <= 107:
            state["bg"] = PALETTE[v - 100 + 8]
        elif v == 49:
            state["bg"] = None
        elif v in (38, 48) and i + 2 < len(values) and values[i + 1] == 5:
            state["fg" if v == 38 else "bg"] = xterm_256(values[i + 2])
            i += 2
        elif v in (38, 48) and i + 4 < len(values) and values[i + 1] == 2:
            state["fg" if v == 38 else "bg"] = tuple(values[i + 2:i + 5])
            i += 4
        i += 1


def parse(text, columns, rows):
    """Grid of (character, fg, bg, bold); attributes carry on from row to row, as tmux
    writes them."""
    state = {"fg": None, "bg": None, "bold": False}
    grid = [[(" ", None, None, False)] * columns for _ in range(rows)]
    for y, line in enumerate(text.split("\n")[:rows]):
        x, pos = 0, 0
        while pos < len(line):
            match = SGR.match(line, pos)
            if match:
                apply_sgr(match.group(1), state)
                pos = match.end()
                continue
            if line[pos] == "\x1b":  # another sequence: not drawn
                pos += 1
                continue
            if x < columns:
                grid[y][x] = (line[pos], state["fg"], state["bg"], state["bold"])
            x += 1
            pos += 1
        # The rest of the row keeps the background in effect at its end.
        for rest in range(x, columns):
            grid[y][rest] = (" ", state["fg"], state["bg"], False)
    return grid


def render(grid, columns, rows, title, cursor):
    font = ImageFont.truetype(FONT, FONT_SIZE)
    bold = ImageFont.truetype(FONT_BOLD, FONT_SIZE)
    title_font = ImageFont.truetype(FONT_TITLE, 15)
    cell_w = int(round(font.getlength("M")))
    ascent, descent = font.getmetrics()
    cell_h = ascent + descent + 2
    pad, bar = 12, 34
    width = columns * cell_w + 2 * pad
    height = rows * cell_h + 2 * pad + bar
    image = Image.new("RGB", (width, height), FRAME)
    draw = ImageDraw.Draw(image)
    draw.rectangle([0, 0, width, bar], fill=TITLE_BAR)
    for i, colour in enumerate([(237, 106, 94), (245, 191, 79), (98, 197, 84)]):
        cx = 18 + i * 20
        draw.ellipse([cx - 6, bar // 2 - 6, cx + 6, bar // 2 + 6], fill=colour)
    if title:
        tw = draw.textlength(title, font=title_font)
        draw.text(((width - tw) / 2, bar / 2), title, font=title_font, fill=TITLE_TEXT, anchor="lm")
    top = bar + pad
    draw.rectangle([pad, top, pad + columns * cell_w, top + rows * cell_h], fill=DEFAULT_BG)
    draw.rectangle([0, bar, width, height], outline=None)
    # Backgrounds fill the whole area under the cells, including the padding beside a row
    # whose colour reaches the edge.
    image_bg = Image.new("RGB", (width, height - bar), DEFAULT_BG)
    image.paste(image_bg, (0, bar))
    for y, row in enumerate(grid):
        for x, (char, fg, bg, is_bold) in enumerate(row):
            x0, y0 = pad + x * cell_w, top + y * cell_h
            if bg is not None:
                draw.rectangle([x0, y0, x0 + cell_w - 1, y0 + cell_h - 1], fill=bg)
            if cursor == (x, y):
                draw.rectangle([x0, y0, x0 + cell_w - 1, y0 + cell_h - 1], fill=DEFAULT_FG)
                fg = bg or DEFAULT_BG
            if char != " ":
                draw.text((x0, y0 + 1), char, font=bold if is_bold else font, fill=fg or DEFAULT_FG)
    return image


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("capture")
    parser.add_argument("out")
    parser.add_argument("--size", required=True)
    parser.add_argument("--title", default="")
    parser.add_argument("--cursor", default="")
    args = parser.parse_args()
    columns, rows = (int(v) for v in args.size.split("x"))
    cursor = tuple(int(v) for v in args.cursor.split(",")) if args.cursor else None
    with open(args.capture, encoding="utf-8", errors="replace") as f:
        text = f.read()
    render(parse(text, columns, rows), columns, rows, args.title, cursor).save(args.out, optimize=True)


if __name__ == "__main__":
    main()
