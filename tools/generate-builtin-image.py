#!/usr/bin/env python3
"""Writes the updater's built-in firmware image: a stand-in for the maker's
firmware with the same framing and composition (495 SysEx messages, 295,325
bytes). Deterministic, so the committed file can be regenerated and compared.

    tools/generate-builtin-image.py firmware/data/NimboDelay-1.0.01-R473.syx
"""
import sys

MANUFACTURER = bytes([0x00, 0x4E, 0x44])
DATA_MESSAGES = 493
PAYLOAD = 590  # header fields and firmware data in each data message


def seven_bit_stream(seed):
    # A small LCG: the content only has to look like packed firmware data
    # and be reproducible; every byte stays a MIDI data byte (< 0x80).
    state = seed
    while True:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        yield (state >> 16) & 0x7F


def data_message(index, stream):
    header = [(index >> 7) & 0x7F, index & 0x7F, 0x00, 0x00]  # block number, flags
    body = [next(stream) for _ in range(PAYLOAD - len(header) - 1)]
    checksum = sum(header + body) & 0x7F
    payload = bytes(header + body + [checksum])
    assert len(payload) == PAYLOAD
    return b"\xF0" + MANUFACTURER + bytes([0x00, 0x10, 0x52, 0x00]) + payload + b"\xF7"


def build():
    stream = seven_bit_stream(473)
    image = b"\xF0" + MANUFACTURER + bytes([0x00, 0x10, 0x51, 0x01]) + b"\xF7"
    for i in range(DATA_MESSAGES):
        image += data_message(i, stream)
    image += b"\xF0" + MANUFACTURER + bytes([0x00, 0x10, 0x52, 0x01]) + b"\xF7"
    assert len(image) == 295325
    return image


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: generate-builtin-image.py OUTPUT.syx")
    with open(sys.argv[1], "wb") as f:
        f.write(build())
