#!/usr/bin/env python3
"""png-has-colour.py FILE RRGGBB: exit status 0 when some pixel of FILE has the colour RRGGBB.
Reads the PNGs headless Chromium writes (8 bits a channel, RGB or RGBA, not interlaced) with
no library beyond Python's own."""
import struct
import sys
import zlib


def rows(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        sys.exit(f'{path}: not a PNG')
    at, compressed = 8, b''
    while at < len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', body)
            if depth != 8 or colour not in (2, 6) or interlace:
                sys.exit(f'{path}: not 8-bit RGB or RGBA, or interlaced')
        elif kind == b'IDAT':
            compressed += body
        at += 12 + length
    step = 3 if colour == 2 else 4
    stride = width * step
    raw = zlib.decompress(compressed)
    above = bytearray(stride)
    for row in range(height):
        start = row * (stride + 1)
        method, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - step] if i >= step else 0
            up = above[i]
            corner = above[i - step] if i >= step else 0
            if method == 1:
                line[i] = (line[i] + left) & 255
            elif method == 2:
                line[i] = (line[i] + up) & 255
            elif method == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif method == 4:
                guess = left + up - corner
                near = min((abs(guess - left), 0, left), (abs(guess - up), 1, up),
                           (abs(guess - corner), 2, corner))
                line[i] = (line[i] + near[2]) & 255
        yield line, step
        above = line


def main():
    path, wanted = sys.argv[1], bytes.fromhex(sys.argv[2])
    for line, step in rows(path):
        if any(line[i:i + 3] == wanted for i in range(0, len(line), step)):
            return 0
    print(f'{path}: no pixel of #{sys.argv[2]}')
    return 1


if __name__ == '__main__':
    sys.exit(main())
