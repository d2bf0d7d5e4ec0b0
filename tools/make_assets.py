#!/usr/bin/env python3
"""Makes Korvi's pictures, sounds and colour schemes (standard library only).

Writes into the folder given as the first argument (default: assets/ beside tools/):
  logo.png      the still logo of the main window
  icon.png      the application icon (64 x 64)
  korvi.dat     the animated logo: a GIF with a 32-colour global colour table followed
                directly by the loop extension, so that the loop count stands at bytes
                126 and 127, and frames separated by 0x00 0x21 0xF9 only
  1.wav         the chat sound
  KorviEx.wav   the execution sound
  korvi-standard.col, korvi-lesbar.col   two colour schemes
The output is committed; run the script again only to change the assets.
"""
import math
import os
import struct
import sys
import zlib

W, H = 160, 48

# The 32 colours of the logo, (r, g, b).
PALETTE = [
    (255, 255, 255), (0, 0, 0), (16, 40, 72), (23, 139, 191), (40, 160, 210),
    (90, 190, 230), (160, 220, 245), (220, 240, 250), (255, 200, 0), (255, 150, 0),
    (0, 170, 80), (0, 210, 110), (220, 40, 40), (128, 128, 128), (192, 192, 192),
    (60, 60, 60),
]
# A blue ramp for the background gradient fills the rest of the table.
for i in range(32 - len(PALETTE)):
    t = i / 15.0
    PALETTE.append((int(16 + 20 * t), int(40 + 80 * t), int(72 + 110 * t)))
assert len(PALETTE) == 32
WHITE, BLACK, NAVY, BLUE = 0, 1, 2, 3
GOLD, ORANGE, GREEN, BRIGHT_GREEN, RED = 8, 9, 10, 11, 12
RAMP = 16

# 5 x 7 letters of the name.
FONT = {
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
}


def base_picture():
    """The still logo as colour indices: gradient, the name and a base line."""
    px = [[RAMP + min(15, (x * 16) // W) for x in range(W)] for y in range(H)]
    scale = 4
    x0, y0 = 8, 10
    for n, ch in enumerate("KORVI"):
        for row, bits in enumerate(FONT[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            x = x0 + n * 6 * scale + col * scale + dx
                            y = y0 + row * scale + dy
                            px[y + 1][x + 1] = BLACK  # shadow
                            px[y][x] = WHITE
    for x in range(4, W - 4):
        px[H - 6][x] = GOLD
    return px


# The chart line drawn over the logo, one segment per frame.
CHART = [40, 36, 38, 30, 33, 26, 28, 20, 22, 14, 16, 8]
SEG_W = 3


def chart_patch(i):
    """Frame i (1-based) of the animation: a narrow patch with one segment of the line."""
    left = 122 + (i - 1) * SEG_W
    y_from, y_to = CHART[i - 1], CHART[i] if i < len(CHART) else CHART[-1]
    top = max(0, min(y_from, y_to) - 2)
    height = abs(y_to - y_from) + 5
    width = SEG_W + 1
    base = base_picture()
    patch = [[base[top + y][left + x] for x in range(width)] for y in range(height)]
    colour = GREEN if y_to <= y_from else RED
    for x in range(width):
        t = x / max(1, width - 1)
        yy = round(y_from + (y_to - y_from) * t) - top
        for d in (0, 1):
            if 0 <= yy + d < height:
                patch[yy + d][x] = colour if d == 0 else BRIGHT_GREEN
    return left, top, patch


def lzw(indices, min_size):
    """GIF LZW compression of colour indices."""
    clear, eoi = 1 << min_size, (1 << min_size) + 1
    out, acc, nbits = bytearray(), 0, 0

    def emit(code, size):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def reset():
        return {bytes([i]): i for i in range(clear)}, eoi + 1, min_size + 1

    table, next_code, size = reset()
    emit(clear, size)
    w = bytes([indices[0]])
    for k in indices[1:]:
        wk = w + bytes([k])
        if wk in table:
            w = wk
            continue
        emit(table[w], size)
        if next_code < 4095:
            table[wk] = next_code
            next_code += 1
            if next_code == (1 << size) + 1 and size < 12:
                size += 1
        else:
            emit(clear, size)
            table, next_code, size = reset()
        w = bytes([k])
    emit(table[w], size)
    emit(eoi, size)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def gif_frame(left, top, rows, delay_cs):
    h, w = len(rows), len(rows[0])
    gce = bytes([0x21, 0xF9, 4, 0x04, delay_cs & 0xFF, delay_cs >> 8, 0, 0])
    desc = b"\x2C" + struct.pack("<HHHH", left, top, w, h) + b"\x00"
    flat = [c for row in rows for c in row]
    return gce + desc + bytes([5]) + sub_blocks(lzw(flat, 5))


def animated_gif(loops):
    head = b"GIF89a" + struct.pack("<HH", W, H) + bytes([0xF4, 0, 0])  # global table, 32 colours
    head += b"".join(bytes(c) for c in PALETTE)
    assert len(head) == 109
    # The loop extension directly after the colour table: its loop count is at 126-127.
    head += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", loops) + b"\x00"
    frames = [gif_frame(0, 0, base_picture(), 80)]
    for i in range(1, len(CHART)):
        left, top, patch = chart_patch(i)
        frames.append(gif_frame(left, top, patch, 12 if i < len(CHART) - 1 else 250))
    data = head + b"".join(frames) + b"\x3B"
    assert data[125] | data[126] << 8 == loops
    # The frames are found by their separators alone: no picture data may contain one.
    assert data.count(b"\x00\x21\xF9") == len(frames), "separator inside picture data"
    return data


def png(rows_rgb):
    h, w = len(rows_rgb), len(rows_rgb[0])
    raw = b"".join(b"\x00" + bytes(v for px in row for v in px) for row in rows_rgb)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def still_logo():
    px = base_picture()
    for i in range(1, len(CHART)):
        left, top, patch = chart_patch(i)
        for y, row in enumerate(patch):
            for x, c in enumerate(row):
                px[top + y][left + x] = c
    return [[PALETTE[c] for c in row] for row in px]


def icon():
    size = 64
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = math.hypot(x - 31.5, y - 31.5)
            if r > 31:
                row.append((255, 255, 255))
            elif r > 28:
                row.append(PALETTE[GOLD])
            else:
                row.append(PALETTE[RAMP + min(15, y // 4)])
        rows.append(row)
    # A rising line of three segments.
    points = [(12, 46), (26, 34), (36, 40), (52, 16)]
    for (x1, y1), (x2, y2) in zip(points, points[1:]):
        for s in range(200):
            t = s / 199
            x, y = round(x1 + (x2 - x1) * t), round(y1 + (y2 - y1) * t)
            for dx in (-2, -1, 0, 1, 2):
                for dy in (-2, -1, 0, 1, 2):
                    if dx * dx + dy * dy <= 5:
                        rows[y + dy][x + dx] = PALETTE[BRIGHT_GREEN]
    return rows


def wav(tones, rate=22050):
    """Mono 16-bit PCM of (frequency, seconds) pieces with soft edges."""
    samples = bytearray()
    for freq, seconds in tones:
        n = int(rate * seconds)
        for i in range(n):
            env = min(1.0, i / (0.01 * rate), (n - i) / (0.03 * rate))
            v = 0 if freq == 0 else int(12000 * env * math.sin(2 * math.pi * freq * i / rate))
            samples += struct.pack("<h", v)
    head = b"RIFF" + struct.pack("<I", 36 + len(samples)) + b"WAVE"
    head += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16)
    return head + b"data" + struct.pack("<I", len(samples)) + bytes(samples)


def colour(r, g, b):
    return r + 256 * g + 65536 * b


# Entries 1 to 18 of the colour table. The standard scheme holds the built-in defaults.
STANDARD = [16776960, 65535, 65535, 16711680, 12632256, 11579568, 16776960, 255, 255, 0,
            12632256, 11579568, 0, 12632256, 16776960, 16776960, 16776960, 16776960]
# The readable scheme: light cells with dark text in both grids.
READABLE = [
    colour(224, 255, 255),  # OG:WP-Zeile: pale cyan
    colour(255, 255, 176),  # OG:Bid
    colour(255, 255, 176),  # OG:Ask
    colour(100, 100, 240),  # OG:Bestand: carries the white position figure and dark G/V text
    colour(240, 240, 240),  # OG:Orderzeile A
    colour(220, 220, 220),  # OG:Orderzeile B
    colour(176, 240, 176),  # OG:TRANS
    colour(255, 190, 190),  # OG:CANCEL
    colour(255, 190, 190),  # OG:CLEAR
    colour(64, 64, 64),     # OG:Trennzeile
    colour(0, 0, 0),        # OG:Schrift
    colour(240, 240, 240),  # EG:Zeile A
    colour(220, 220, 220),  # EG:Zeile B
    colour(0, 0, 0),        # EG:Schrift
    colour(64, 64, 64),     # EG:Trennzeile
    colour(255, 224, 160),  # OG:BracketMain
    colour(224, 224, 255),  # OG:BracketChildCold
    colour(255, 200, 120),  # OG:BracketChildHot
]


def col_file(entries):
    """A colour file: entries 1 to 30, one number line each, CR LF."""
    values = entries + [0] * (30 - len(entries))
    return b"".join(b" %d \r\n" % v for v in values)


def luminance(c):
    def channel(v):
        v /= 255.0
        return v / 12.92 if v <= 0.03928 else ((v + 0.055) / 1.055) ** 2.4
    r, g, b = c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF
    return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b)


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def contrast_report(name, e):
    """Text against each cell colour of the two grids (entries 1-9, 12-13, 16-18)."""
    og_text, eg_text = e[10], e[13]
    pairs = [(n, og_text) for n in (1, 2, 3, 5, 6, 7, 8, 9, 16, 17, 18)] + [(n, eg_text) for n in (12, 13)]
    ratios = [(contrast(e[n - 1], t), n) for n, t in pairs]
    # The position figure is drawn in white on "OG:Bestand".
    ratios.append((contrast(e[3], colour(255, 255, 255)), 4))
    worst = min(ratios)
    print("%s: lowest text contrast %.2f:1 (entry %d), order lines %.2f:1 / %.2f:1"
          % (name, worst[0], worst[1], contrast(e[4], og_text), contrast(e[5], og_text)))
    return worst[0]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "assets")
    os.makedirs(out, exist_ok=True)
    files = {
        "logo.png": png(still_logo()),
        "icon.png": png(icon()),
        "korvi.dat": animated_gif(0),
        "1.wav": wav([(880, 0.08), (0, 0.04), (1320, 0.12)]),
        "KorviEx.wav": wav([(660, 0.1), (990, 0.1), (1320, 0.18)]),
        "korvi-standard.col": col_file(STANDARD),
        "korvi-lesbar.col": col_file(READABLE),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    contrast_report("korvi-standard.col", STANDARD)
    assert contrast_report("korvi-lesbar.col", READABLE) >= 4.5


if __name__ == "__main__":
    main()
