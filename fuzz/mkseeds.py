#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora from the bundled samples: each sample
behind the selector bytes that make a target read it in a format and framing
it holds, in whole blocks and in small ones.
Usage: mkseeds.py SAMPLES-DIRECTORY CORPUS-DIRECTORY
  writes CORPUS-DIRECTORY/fuzz_linedata/* and CORPUS-DIRECTORY/fuzz_sf/*"""
import os
import sys

TEXT, FIXED, VARIABLE, FIXED_ALT, BLOCKED = range(5)  # index into 0, 1, 2, 5, 6
CC, FF, TRC, EBCDIC = 0x0010, 0x0080, 0x0100, 0x1000
RECORDS = EBCDIC | TRC | CC
FILE_TOO = 0xE0  # fuzz_sf: also read the stream through a file

# name, format choice, option bits, maximum record length, block plan, sample
LINE_SEEDS = [
    ('text-cc', TEXT, CC, 80, [4096], 'print-cc.txt'),
    ('text-cc-bytewise', TEXT, CC, 80, [1], 'print-cc.txt'),
    ('text-cc-trc-cut', TEXT, CC | 0x20 | TRC, 0, [3, 4096], 'print-cc.txt'),
    ('text-cc-longest', TEXT, CC, 65535, [7], 'print-cc.txt'),
    ('text-ff', TEXT, FF, 80, [4096], 'print-ff.txt'),
    ('text-ff-short', TEXT, FF | CC, 8, [5], 'print-ff.txt'),
    ('text-fields', TEXT, CC, 8000, [4096], 'document.afp'),
    ('text-fields-cut', TEXT, CC, 100, [64, 1000], 'document.afp'),
    ('blocked', BLOCKED, RECORDS, 64, [4096], 'lines.vb'),
    ('blocked-small', BLOCKED, RECORDS, 64, [2, 7], 'lines.vb'),
    ('blocked-too-long', BLOCKED, RECORDS, 20, [4096], 'lines.vb'),
    ('variable', VARIABLE, RECORDS, 64, [4096], 'unblocked'),
    ('variable-bytewise', VARIABLE, RECORDS, 64, [1], 'unblocked'),
    ('variable-too-long', VARIABLE, RECORDS, 20, [4096], 'unblocked'),
    ('variable-fields', VARIABLE, CC, 8192, [4096], 'document-rdw.afp'),
    ('variable-fields-small', VARIABLE, CC, 8192, [5, 300], 'document-rdw.afp'),
    ('fixed', FIXED, RECORDS, 30, [4096], 'lines.vb'),
    ('fixed-alt', FIXED_ALT, 0, 16, [3], 'lines.vb'),
    ('fixed-fields', FIXED, CC, 17, [4096], 'document.afp'),
]
# name, capacity, block plan, flags, sample
SF_SEEDS = [
    ('plain', 8192, [4096], 0, 'document.afp'),
    ('plain-then-bytewise', 8192, [4096, 1], 0, 'document.afp'),
    ('plain-too-long', 100, [4096], 0, 'document.afp'),
    ('plain-file', 8192, [4096, 13], FILE_TOO, 'document.afp'),
    ('plain-one-field', 8, [4096], 0, 'first-field'),
    ('rdw', 8192, [4096], 0, 'document-rdw.afp'),
    ('rdw-small', 8192, [20, 3], 0, 'document-rdw.afp'),
    ('rdw-too-long', 300, [4096], FILE_TOO, 'document-rdw.afp'),
    ('prefix', 8192, [4096], 0, 'document-prefix.afp'),
    ('prefix-small', 8192, [18, 64, 2], 0, 'document-prefix.afp'),
    ('prefix-file', 100, [4096], FILE_TOO, 'document-prefix.afp'),
    ('text-refused', 100, [4096], 0, 'print-cc.txt'),
]


def word(n):
    return bytes([n >> 8 & 0xFF, n & 0xFF])


def size(cb):
    """A size as the selectors spell it: up to 255 as is, up to 16383 with
    the mode bits 01, 65535 and just below it with the mode bits 11."""
    if cb <= 0xFF:
        return bytes([0, cb])
    return word(0x4000 | cb) if cb <= 0x3FFF else bytes([0xFF, 0xFFFF - cb])


def plan(acb, flags):
    """The count byte with its flag bits, then one word per block size."""
    return bytes([flags | len(acb) - 1]) + b''.join(
        word(cb - 1 if cb <= 64 else 0x8000 | cb - 1) for cb in acb)


def unblocked(ab):
    """The blocked sample's records without their block descriptor words."""
    out, ib = b'', 0
    while ib + 4 <= len(ab):
        cb = ab[ib] << 8 | ab[ib + 1]
        if cb < 4 or ib + cb > len(ab):
            break
        out, ib = out + ab[ib + 4:ib + cb], ib + cb
    return out


def main(samples_dir, corpus_dir):
    samples = {}
    for name in os.listdir(samples_dir):
        with open(os.path.join(samples_dir, name), 'rb') as f:
            samples[name] = f.read()
    samples['unblocked'] = unblocked(samples['lines.vb'])
    samples['first-field'] = samples['document.afp'][:17]
    seeds = {
        'fuzz_linedata': [(n, bytes([fmt, opts >> 8, opts & 0xF0]) + size(cb) +
                           plan(acb, 0) + samples[s])
                          for n, fmt, opts, cb, acb, s in LINE_SEEDS],
        'fuzz_sf': [(n, size(cb) + plan(acb, flags) + samples[s])
                    for n, cb, acb, flags, s in SF_SEEDS],
    }
    for target, files in seeds.items():
        os.makedirs(os.path.join(corpus_dir, target), exist_ok=True)
        for name, ab in files:
            with open(os.path.join(corpus_dir, target, name), 'wb') as f:
                f.write(ab)


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit('usage: mkseeds.py SAMPLES-DIRECTORY CORPUS-DIRECTORY')
    main(sys.argv[1], sys.argv[2])
