#!/usr/bin/env python3
"""Python's zlib and a plain re-statement of our compressor, as oracles for the DEFLATE tests.

Records on standard input and output are: a text line "<name> <size>\\n" then that many bytes.

  inputs               writes the test inputs
  compress             for each input record, writes records "<name>/<method>" of zlib's output
                       (raw, zlib and gzip framing; stored, fixed, dynamic, filtered and RLE)
  reference            for each input record, writes the bytes our compressor must produce
  check                reads pairs of records (original, ours compressed as "<name>/<method>")
                       and prints one line per pair: "ok <name>" or "bad <name>: <reason>"
"""
import gzip
import io
import random
import sys
import zlib


def read_records(stream):
    while True:
        line = stream.readline()
        if not line:
            return
        name, size = line.decode().split()
        yield name, stream.read(int(size))


def write_record(out, name, data):
    out.write(b'%s %d\n' % (name.encode(), len(data)))
    out.write(data)


def inputs():
    rng = random.Random(1951)
    text = b' '.join(rng.choice([b'the', b'quick', b'brown', b'fox', b'jumps', b'over', b'lazy',
                                 b'dog', b'kaz', b'series', b'block', b'\n'])
                     for _ in range(30000))
    return [
        ('empty', b''),
        ('one', b'a'),
        ('five', b'aaaaa'),
        ('run', b'x' * 1000),
        ('text', text),
        ('random', rng.randbytes(70000)),
        ('skewed', bytes(rng.choice(b'aaaaaaabbbc\x00\xff') for _ in range(50000))),
        ('long-run', b'\x00' * 300000 + b'end'),
        ('far', rng.randbytes(40000) * 2),
        ('header-like', b'\x1f\x8b\x08' + text[:500]),
    ]


def compress(data):
    out = []
    for level in (0, 1, 6, 9):
        for framing, wbits in (('raw', -15), ('zlib', 15), ('gzip', 31)):
            c = zlib.compressobj(level, zlib.DEFLATED, wbits)
            out.append(('%s-%d' % (framing, level), c.compress(data) + c.flush()))
    for strategy, label in ((zlib.Z_FIXED, 'fixed'), (zlib.Z_HUFFMAN_ONLY, 'huffman'),
                            (zlib.Z_RLE, 'rle'), (zlib.Z_FILTERED, 'filtered')):
        c = zlib.compressobj(6, zlib.DEFLATED, -15, 8, strategy)
        out.append(('raw-' + label, c.compress(data) + c.flush()))
    # Small windows and memory levels make many short dynamic blocks.
    c = zlib.compressobj(9, zlib.DEFLATED, -9, 1)
    out.append(('raw-small', c.compress(data) + c.flush()))
    # gzip with a name, a time stamp and a comment-free header from the gzip module.
    buf = io.BytesIO()
    with gzip.GzipFile(filename='data.bin', mode='wb', fileobj=buf, mtime=1234567890) as g:
        g.write(data)
    out.append(('gzip-named', buf.getvalue()))
    return out


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.bits = 0
        self.count = 0

    def put(self, value, n):
        self.bits |= value << self.count
        self.count += n
        while self.count >= 8:
            self.out.append(self.bits & 0xFF)
            self.bits >>= 8
            self.count -= 8

    def put_code(self, code, n):  # Huffman codes go most significant bit first
        self.put(int(format(code, '0%db' % n)[::-1], 2), n)


LENGTH_BASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83,
               99, 115, 131, 163, 195, 227, 258]
LENGTH_EXTRA = [0] * 8 + [1] * 4 + [2] * 4 + [3] * 4 + [4] * 4 + [5] * 4 + [0]
DIST_BASE = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769,
             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577]
DIST_EXTRA = [0, 0, 0, 0] + [i // 2 for i in range(2, 28)]


def put_symbol(w, s):
    if s < 144:
        w.put_code(0x30 + s, 8)
    elif s < 256:
        w.put_code(0x190 + s - 144, 9)
    elif s < 280:
        w.put_code(s - 256, 7)
    else:
        w.put_code(0xC0 + s - 280, 8)


def bucket(b0, b1, b2):
    m = 0xFFFFFFFF
    x = ((b0 << 16) | (b1 << 8) | b2) ^ b0
    x = (x * 0x7FEB352D) & m
    x ^= x >> 15
    x = (x * 0x846CA68B) & m
    x ^= x >> 16
    return x & 0x3FF


def reference(data):
    """The compressor as its description gives it: one fixed-code block, first match of 4 slots."""
    w = BitWriter()
    w.put(1, 1)
    w.put(1, 2)
    table = [[None] * 4 for _ in range(1024)]
    n = len(data)
    p = 0
    while p < n:
        start = p
        b = bucket(*data[p:p + 3]) if n - p >= 3 else None
        length = 0
        if b is not None and p >= 3:
            for q in table[b]:
                if q is not None and q < p and p - q < 32768 and data[q:q + 3] == data[p:p + 3]:
                    length = 3
                    while length < 258 and p + length < n and data[q + length] == data[p + length]:
                        length += 1
                    dist = p - q
                    break
        if length:
            s = max(i for i in range(29) if LENGTH_BASE[i] <= length)
            put_symbol(w, 257 + s)
            w.put(length - LENGTH_BASE[s], LENGTH_EXTRA[s])
            d = max(i for i in range(30) if DIST_BASE[i] <= dist)
            w.put_code(d, 5)
            w.put(dist - DIST_BASE[d], DIST_EXTRA[d])
            p += length
        else:
            put_symbol(w, data[p])
            p += 1
        if b is not None:
            slot = (((data[p + 1] >> 6) - data[p + 2]) & 3) if p + 2 < n else 0
            table[b][slot] = start
    put_symbol(w, 256)
    if w.count:
        w.put(0, 8 - w.count)
    return bytes(w.out)


def main():
    mode = sys.argv[1]
    out = sys.stdout.buffer
    if mode == 'inputs':
        for name, data in inputs():
            write_record(out, name, data)
    elif mode == 'compress':
        for name, data in read_records(sys.stdin.buffer):
            for method, packed in compress(data):
                write_record(out, name + '/' + method, packed)
    elif mode == 'reference':
        for name, data in read_records(sys.stdin.buffer):
            write_record(out, name, reference(data))
    elif mode == 'check':
        records = read_records(sys.stdin.buffer)
        for (name, original), (packed_name, packed) in zip(records, records):
            method = packed_name.rsplit('/', 1)[1]
            try:
                if method == 'gzip':
                    got = gzip.decompress(packed)
                else:
                    got = zlib.decompress(packed, -15 if method == 'raw' else 15)
                ok = got == original
                out.write(b'%s %s\n' % (b'ok' if ok else b'bad', packed_name.encode()))
            except Exception as e:
                out.write(b'bad %s: %s\n' % (packed_name.encode(), str(e).encode()))


if __name__ == '__main__':
    main()
