#!/usr/bin/env python3
"""An independent reader and writer of user paper (udp) and user setting (uds)
files, written from the format's tables with struct and zlib.

  parse FILE                 prints the file's records, one a line:
                               paper   NAMEHEX WIDTH LENGTH UNIT   (WIDTH/LENGTH as written)
                               setting NAMEHEX CRC32-OF-BLOCK      (record CRC checked with zlib)
                             and first a line "header MODELHEX VERSION" or "old COUNT"
  build KIND FILE MODEL VERSION RECORDS
                             KIND paper|setting|old; RECORDS is a text file, one record a line:
                               paper:   NAMEHEX<TAB>WIDTH<TAB>LENGTH<TAB>UNIT   (texts as to be written)
                               setting: NAMEHEX<TAB>BLOCKFILE
  batch FILE                 runs one build a line: KIND<TAB>FILE<TAB>MODEL<TAB>VERSION<TAB>RECORDS
Names are UTF-8 (ANSI cp1252 in the old format) given and printed as hex.
"""
import struct
import sys
import zlib

SIGNATURE = b"NEVO/BERTAL/CORPORATION/ndrv"
PAPER_BLOCK = b"UDP_UserDefinitionPaper"
SETTING_BLOCK = b"UDS_UserDefinitionSetting"
BLOCK_SIZE = 2936


def field(text, width):
    if isinstance(text, str):
        text = text.encode("ascii")
    assert len(text) <= width
    return text + b"\0" * (width - len(text))


def number(raw):
    text = raw.rstrip(b"\0").decode("ascii")
    return text


def block_header(name, count):
    return struct.pack("32s28s20s20s", name, SIGNATURE, b"", field(str(count), 20))


def file_header(model, version):
    m = model.encode("utf-8")
    return struct.pack("5s10s30s5s", field("100", 5), field(version, 10), field("UTF-8", 30),
                       field(str(len(m)), 5)) + m


def build(kind, path, model, version, records_path):
    rows = [line.rstrip("\n").split("\t") for line in open(records_path, encoding="ascii") if line.strip()]
    out = b""
    if kind == "old":
        out += struct.pack("32s28s20s2s18s", PAPER_BLOCK, SIGNATURE, b"", field(str(len(rows)), 2), b"")
        for i, (namehex, width, length, unit) in enumerate(rows, 1):
            out += struct.pack("5s5s60s10s10s1s4s5s", b"RSsta", field(str(i), 5), bytes.fromhex(namehex),
                               field(width, 10), field(length, 10), unit.encode("ascii"), b"", b"RSend")
        open(path, "wb").write(out)
        return
    out += file_header(model, version)
    if kind == "paper":
        out += block_header(PAPER_BLOCK, len(rows))
        for i, (namehex, width, length, unit) in enumerate(rows, 1):
            name = bytes.fromhex(namehex)
            out += struct.pack("5s5s5s%ds10s10s5s5s" % len(name), b"RSsta", field(str(i), 5),
                               field(str(len(name)), 5), name, field(width, 10), field(length, 10),
                               field(unit, 5), b"RSend")
    else:
        out += block_header(SETTING_BLOCK, len(rows))
        for i, (namehex, blockfile) in enumerate(rows, 1):
            name = bytes.fromhex(namehex)
            block = open(blockfile, "rb").read()
            assert len(block) == BLOCK_SIZE
            covered = field(str(len(name)), 5) + name + field(str(BLOCK_SIZE), 5) + block
            crc = "%x" % (zlib.crc32(covered) & 0xFFFFFFFF)
            out += b"RSsta" + field(str(i), 5) + covered + b"0x" + field(crc, 8) + b"RSend"
    open(path, "wb").write(out)


def parse(path):
    data = open(path, "rb").read()
    if data[:len(PAPER_BLOCK)] == PAPER_BLOCK:
        count = int(number(data[80:82]))
        print("old", count)
        for i in range(1, count + 1):
            r = data[100 * i:100 * (i + 1)]
            start, num, name, width, length, unit, _, end = struct.unpack("5s5s60s10s10s1s4s5s", r)
            assert start == b"RSsta" and end == b"RSend"
            print("paper", name.rstrip(b"\0").hex() or "-", number(width).strip(), number(length).strip(),
                  unit.decode())
        return
    fmt, version, encoding, m = struct.unpack_from("5s10s30s5s", data, 0)
    assert encoding == field("UTF-8", 30), encoding
    m = int(number(m))
    model = data[50:50 + m]
    print("header", model.hex(), number(version))
    block = data[50 + m:]
    name, signature, zero, count = struct.unpack_from("32s28s20s20s", block, 0)
    assert signature == SIGNATURE and zero == b"\0" * 20
    count = int(number(count))
    at = 100
    for _ in range(count):
        start, num, n = struct.unpack_from("5s5s5s", block, at)
        assert start == b"RSsta"
        n = int(number(n))
        rec_name = block[at + 15:at + 15 + n]
        tail = at + 15 + n
        if name.rstrip(b"\0") == PAPER_BLOCK:
            width, length, unit, end = struct.unpack_from("10s10s5s5s", block, tail)
            assert end == b"RSend"
            print("paper", rec_name.hex() or "-", number(width), number(length), number(unit))
            at = tail + 30
        else:
            size, = struct.unpack_from("5s", block, tail)
            assert int(number(size)) == BLOCK_SIZE
            settings = block[tail + 5:tail + 5 + BLOCK_SIZE]
            prefix, crc, end = struct.unpack_from("2s8s5s", block, tail + 5 + BLOCK_SIZE)
            assert prefix == b"0x" and end == b"RSend"
            covered = block[at + 10:tail + 5 + BLOCK_SIZE]
            assert number(crc) == "%x" % (zlib.crc32(covered) & 0xFFFFFFFF), "crc"
            print("setting", rec_name.hex(), "%08x" % (zlib.crc32(settings) & 0xFFFFFFFF))
            at = tail + 5 + BLOCK_SIZE + 15
    assert at == len(block), "trailing bytes"


if __name__ == "__main__":
    if sys.argv[1] == "parse":
        parse(sys.argv[2])
    elif sys.argv[1] == "build":
        build(*sys.argv[2:7])
    elif sys.argv[1] == "batch":
        for line in open(sys.argv[2], encoding="utf-8"):
            if line.strip():
                build(*line.rstrip("\n").split("\t"))
    else:
        sys.exit("unknown command")
