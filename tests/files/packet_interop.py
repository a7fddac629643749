#!/usr/bin/env python3
"""An independent reader and writer of packet files, for interop tests.

Format (little-endian): 1F 8C, total data size (int64), then packets:
compressed length (u32), data length (u32), zlib stream.

  packet_interop.py decode PACKET_FILE DATA_OUT
      checks the file strictly and writes the data; prints the header total
  packet_interop.py encode DATA_IN PACKET_FILE SIZE...
      splits the data into packets of the given sizes (the last size
      repeats) and writes a packet file
"""
import struct
import sys
import zlib


def decode(packet_path, data_path):
    with open(packet_path, "rb") as f:
        raw = f.read()
    if raw[:2] != b"\x1f\x8c":
        sys.exit("not a packet file")
    (total,) = struct.unpack_from("<q", raw, 2)
    offset, data = 10, bytearray()
    while offset < len(raw):
        if offset + 8 > len(raw):
            sys.exit("truncated packet header at %d" % offset)
        compressed, length = struct.unpack_from("<II", raw, offset)
        offset += 8
        if offset + compressed > len(raw):
            sys.exit("truncated packet at %d" % offset)
        chunk = zlib.decompress(raw[offset:offset + compressed])
        if len(chunk) != length:
            sys.exit("packet length %d, decoded %d" % (length, len(chunk)))
        data += chunk
        offset += compressed
    if total != len(data):
        sys.exit("header total %d, data %d" % (total, len(data)))
    with open(data_path, "wb") as f:
        f.write(data)
    print(total)


def encode(data_path, packet_path, sizes):
    with open(data_path, "rb") as f:
        data = f.read()
    out = bytearray(b"\x1f\x8c" + struct.pack("<q", len(data)))
    offset, index = 0, 0
    while offset < len(data):
        size = sizes[min(index, len(sizes) - 1)]
        chunk = data[offset:offset + size]
        stream = zlib.compress(chunk, 9)
        out += struct.pack("<II", len(stream), len(chunk)) + stream
        offset += len(chunk)
        index += 1
    with open(packet_path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "decode":
        decode(sys.argv[2], sys.argv[3])
    elif len(sys.argv) >= 5 and sys.argv[1] == "encode":
        encode(sys.argv[2], sys.argv[3], [int(s) for s in sys.argv[4:]])
    else:
        sys.exit(__doc__)
