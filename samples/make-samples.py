#!/usr/bin/env python3
"""Writes the demo images of this folder. Deterministic: running it again gives
the same bytes.

  prog.bin         12 KiB program image, firmware 2.0 (the update installs it)
  prog-old.bin      8 KiB program image, firmware 1.4 (what the instrument runs before)
  data.bin          2 KiB factory DATA FLASH image
  calibration.bin   2 KiB DATA FLASH of one calibrated instrument
"""
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent


class Lcg:
    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self, n):
        self.state = (self.state * 1103515245 + 12345) & 0xFFFFFFFF
        return (self.state >> 16) % n


# A few 8051 instruction shapes: opcode and operand count.
SHAPES = [
    (0x74, 1), (0xE5, 1), (0xF5, 1), (0x85, 2), (0x90, 2), (0xE0, 0), (0xF0, 0), (0xA3, 0),
    (0x12, 2), (0x60, 1), (0x70, 1), (0xB4, 2), (0xD2, 1), (0xC2, 1), (0x24, 1), (0x34, 1),
    (0xC3, 0), (0x94, 1), (0x08, 0), (0x18, 0), (0xD8, 1), (0x80, 1), (0x22, 0), (0xE4, 0),
]


def program(size, seed, version):
    rnd = Lcg(seed)
    image = bytearray([0x02, 0x01, 0x00])  # LJMP 0100h
    for vector in (0x03, 0x0B, 0x13, 0x1B, 0x23, 0x2B, 0x33, 0x3B, 0x43, 0x4B, 0x53):
        image += bytes(vector - len(image))
        image += bytes([0x02, 0x0F, vector]) if vector in (0x0B, 0x23) else bytes([0x32])
    image += bytes(0x100 - len(image))
    banner = f"Velmar demo firmware {version}".encode("ascii") + b"\0"
    end = size - 16 - len(banner)
    while len(image) < end:
        opcode, operands = SHAPES[rnd.next(len(SHAPES))]
        if len(image) + 1 + operands > end:
            image.append(0x00)
            continue
        image.append(opcode)
        image += bytes(rnd.next(256) for _ in range(operands))
    image += banner
    image += bytes([0xFF]) * (size - len(image) - 2)
    image += struct.pack(">H", sum(image) & 0xFFFF)
    return bytes(image)


def data_flash(seed, tag):
    rnd = Lcg(seed)
    image = bytearray(tag.ljust(16, b"\0"))
    for channel in range(8):
        gain = 1.0 + (rnd.next(2001) - 1000) / 100000.0
        offset = (rnd.next(2001) - 1000) / 10.0
        image += struct.pack("<ffII", gain, offset, channel, rnd.next(1 << 30))
    image += bytes([0xFF]) * (2048 - len(image))
    return bytes(image)


def main():
    files = {
        "prog.bin": program(12288, 20, "2.0"),
        "prog-old.bin": program(8192, 14, "1.4"),
        "data.bin": data_flash(1, b"FACTORY"),
        "calibration.bin": data_flash(1510, b"CAL 14v071510"),
    }
    for name, content in files.items():
        (HERE / name).write_bytes(content)


if __name__ == "__main__":
    main()
