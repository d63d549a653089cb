#!/usr/bin/env python3
"""Rewrites an AVI file for the streaming reader's tests.

  make_avi_variants.py noindex IN OUT   the file without its idx1 index (cut off where it began)
  make_avi_variants.py emptyindex IN OUT  the same with an idx1 chunk of no entries in its place
  make_avi_variants.py opendml IN OUT   the movi chunks split into two RIFF parts: the first
                                        "RIFF AVI " keeps the headers and the first half, a
                                        "RIFF AVIX" part holds the rest (no index in either), and
                                        the OpenDML header counts every frame
"""
import struct
import sys


def chunks(data, start, end):
    pos = start
    while pos + 8 <= end:
        cid, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
        yield pos, cid, size
        pos += 8 + size + (size & 1)


def riff(kind, body):
    return b'RIFF' + struct.pack('<I', len(body) + 4) + kind + body


def movi_list(body):
    return b'LIST' + struct.pack('<I', len(body) + 4) + b'movi' + body


def main():
    what, src, dst = sys.argv[1:4]
    data = open(src, 'rb').read()
    movi = data.find(b'movi') - 8
    assert data[movi:movi + 4] == b'LIST'
    movi_size = struct.unpack('<I', data[movi + 4:movi + 8])[0]
    body_start, body_end = movi + 12, movi + 8 + movi_size
    if what in ('noindex', 'emptyindex'):
        cut = data[:data.find(b'idx1', body_end - 8)]
        if what == 'emptyindex':
            cut += b'idx1' + struct.pack('<I', 0)
        open(dst, 'wb').write(cut)
        return
    items = list(chunks(data, body_start, body_end))
    half = len(items) // 2
    cut = items[half][0]
    first = data[body_start:cut]
    second = data[cut:body_end]
    head = bytearray(data[12:movi])
    frames = sum(1 for _, cid, _ in items if cid[2:4] in (b'dc', b'db'))
    dmlh = head.find(b'dmlh')
    if dmlh >= 0:
        head[dmlh + 8:dmlh + 12] = struct.pack('<I', frames)
    out = riff(b'AVI ', bytes(head) + movi_list(first)) + riff(b'AVIX', movi_list(second))
    open(dst, 'wb').write(out)


main()
