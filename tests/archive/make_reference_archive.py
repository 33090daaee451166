#!/usr/bin/env python3
"""An independent writer of update archives: Python's own zlib and struct, no project code.

    python3 make_reference_archive.py reference.zlib        # the committed test fixture
    python3 make_reference_archive.py --corpus DIR          # small seed archives for the fuzzer

Layout: file data, then the file list (530-byte entries), then the 33-byte trailer whose
first field is the CRC-32 of every byte before it. All integers little-endian.
"""
import os
import struct
import sys
import zlib


def short_string(text):
    raw = text.encode("latin-1")
    return bytes([len(raw)]) + raw + bytes(255 - len(raw))


def entry(name, path, size, offset, crc, storage):
    e = short_string(name) + short_string(path)
    e += struct.pack("<iIIIBB", size, 0, offset, crc, storage, 0)
    assert len(e) == 530
    return e


def archive(files, compress_list, level=9):
    """files: (name, stored path, bytes, compress) tuples, written in this order."""
    body = b""
    entries = b""
    for name, path, data, compress in files:
        offset = len(body)
        if data:
            body += zlib.compress(data, level) if compress else data
        entries += entry(name, path, len(data), offset, zlib.crc32(data), 0 if compress else 1)
    list_offset = len(body)
    body += zlib.compress(entries, level) if compress_list else entries
    trailer = struct.pack("<Ii8sIB12s", zlib.crc32(body), len(files), bytes(8), list_offset,
                          1 if compress_list else 0, bytes(12))
    assert len(trailer) == 33
    return body + trailer


# The fixture that tests/archive/ZLIBArchive_test.cpp reads back (keep the two in step).
REFERENCE = [
    ("readme.txt", "", b"Reference archive written by Python's zlib.\r\n", False),
    ("data.bin", "\\lib\\x\\", bytes((i * 7) & 0xFF for i in range(3000)) * 3, True),
    ("empty.txt", "lib", b"", True),
    ("notes.txt", "doc", b"notes " * 200, True),
]


def corpus(directory):
    os.makedirs(directory, exist_ok=True)
    seeds = {
        "stored-one.zlib": archive([("hello.txt", "", b"Hello", False)], False),
        "inflate-list.zlib": archive(REFERENCE, True),
        "stored-list.zlib": archive(REFERENCE, False),
        "empty-list.zlib": archive([], False),
        "paths.zlib": archive([("a.txt", "\\x\\\\y\\", b"abc" * 50, True),
                               ("b.txt", "x/y", b"", False)], True, 1),
    }
    for name, data in seeds.items():
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--corpus":
        corpus(sys.argv[2])
    elif len(sys.argv) == 2:
        with open(sys.argv[1], "wb") as f:
            f.write(archive(REFERENCE, True))
    else:
        sys.exit(__doc__)
