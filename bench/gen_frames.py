#!/usr/bin/env python3
"""Writes N true-colour PNG frames of W x H (default 100 of 320 x 240) for bench/gifencode.sh:

    bench/gen_frames.py OUTDIR [--frames N] [--width W] [--height H]

OUTDIR/frame-000.png ... : a smooth gradient background that drifts from frame to frame, two
moving discs, a band of fine noise and flat bars, so that every frame has thousands of colours
and the reduction, the dithering and the LZW coder all have work. The same arguments always give
the same bytes (a fixed seed, no time stamps). Only the standard library is used.
"""
import argparse
import os
import random
import struct
import zlib


def png(path, width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


def frame(index, width, height, noise):
    shift = index * 3
    # The background: red across, green down, blue by the frame; a row at a time from tables.
    reds = bytes(((x * 255 // max(width - 1, 1)) + shift) % 256 for x in range(width))
    blues = bytes((x * 2 + index * 5) % 256 for x in range(width))
    discs = [
        (width * (0.25 + 0.5 * ((index * 0.013) % 1.0)), height * 0.35, height * 0.22, (250, 40, 60)),
        (width * 0.6, height * (0.2 + 0.6 * ((index * 0.021) % 1.0)), height * 0.15, (30, 200, 90)),
    ]
    rows = []
    for y in range(height):
        g = (y * 255 // max(height - 1, 1) + shift) % 256
        row = bytearray(width * 3)
        row[0::3] = reds
        row[1::3] = bytes([g]) * width
        row[2::3] = blues
        for cx, cy, r, (cr, cg, cb) in discs:
            dy = y - cy
            if abs(dy) < r:
                half = int((r * r - dy * dy) ** 0.5)
                x0, x1 = max(0, int(cx) - half), min(width, int(cx) + half)
                if x1 > x0:
                    shade = int(40 * dy / r)
                    row[3 * x0 : 3 * x1 : 3] = bytes([max(0, min(255, cr + shade))]) * (x1 - x0)
                    row[3 * x0 + 1 : 3 * x1 : 3] = bytes([max(0, min(255, cg + shade))]) * (x1 - x0)
                    row[3 * x0 + 2 : 3 * x1 : 3] = bytes([max(0, min(255, cb + shade))]) * (x1 - x0)
        if height * 3 // 4 <= y < height * 3 // 4 + height // 10:
            start = (y * 7 + index * 11) % (len(noise) - width * 3)
            row[: width * 3 // 2] = noise[start : start + width * 3 // 2]
        if y % 40 < 6:
            row[3 * (width // 2) :] = bytes([200, 200, 40]) * (width - width // 2)
        rows.append(bytes(row))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir")
    parser.add_argument("--frames", type=int, default=100)
    parser.add_argument("--width", type=int, default=320)
    parser.add_argument("--height", type=int, default=240)
    args = parser.parse_args()
    if args.frames < 1 or args.width < 1 or args.height < 1:
        parser.error("frames, width and height must be positive")
    os.makedirs(args.outdir, exist_ok=True)
    rng = random.Random(27)
    noise = bytes(rng.getrandbits(8) for _ in range(args.width * 3 * 8))
    for i in range(args.frames):
        png(os.path.join(args.outdir, "frame-%03d.png" % i), args.width, args.height, frame(i, args.width, args.height, noise))


if __name__ == "__main__":
    main()
