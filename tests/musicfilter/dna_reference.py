#!/usr/bin/python3
"""Computes the 32 fingerprint words of a 16-bit WAV file straight from the
formulas, with numpy, as an independent check of the library's arithmetic.

Usage: dna_reference.py FILE.wav [START_SECOND]
Prints the same lines as quenvara-fingerprint: "result 0", "bitrate N" and
32 lines "index word".
"""
import struct
import sys

import numpy as np


def wave_format(data):
    """(channels, rate, block align) from the fmt chunk of a plain RIFF file."""
    assert data[0:4] == b'RIFF' and data[8:12] == b'WAVE', 'not a RIFF WAVE file'
    at = 12
    while at + 8 <= len(data):
        code, size = data[at:at + 4], struct.unpack_from('<I', data, at + 4)[0]
        if code == b'fmt ':
            _, channels, rate, _, align = struct.unpack_from('<HHIIH', data, at + 8)
            return channels, rate, align
        at += 8 + size + (size & 1)
    raise ValueError('no fmt chunk')


def words(data, start):
    channels, rate, align = wave_format(data)
    hop = int(rate * 0.011328125)
    n = 32 * hop
    # The excerpt starts at a byte position counted from the start of the file.
    offset = start * rate * align
    raw = np.frombuffer(data, dtype='<i2', count=(len(data) - offset) // 2, offset=offset)
    raw = raw.astype(np.float64)
    if channels == 1:
        mono = raw
    else:
        pairs = raw[: len(raw) // 2 * 2].reshape(-1, 2)
        mono = (pairs[:, 0] + pairs[:, 1]) * 0.5
    need = 288 * hop
    assert len(mono) >= need, 'file too short'
    mono = mono[:need]

    # Filter bank.
    period = 10_000_000 / rate
    m = 2
    while m < n:
        m *= 2
    half = m // 2
    fres = 10_000_000 / (period * m * 700)
    mlo = 1127 * np.log(1 + 300 / 700)
    mhi = 1127 * np.log(1 + 7000 / 700)
    klo = max(int(300 * period * 1e-7 * m + 2.5), 2)
    khi = min(int(7000 * period * 1e-7 * m + 0.5), half)
    cf = [0.0] + [(c / 34) * (mhi - mlo) + mlo for c in range(1, 35)]
    bins = np.arange(klo, khi + 1)
    mel = 1127 * np.log(1 + (bins - 1) * fres)
    # Lower channel: the number of centres below the bin's mel value.
    lower = np.searchsorted(np.array(cf[1:]), mel, side='left')
    upper = np.array([cf[c + 1] for c in lower])
    below = np.array([cf[c] if c > 0 else mlo for c in lower])
    weight = (upper - mel) / (upper - below)

    window = 0.54 - 0.46 * np.cos(6.28318530717959 * np.arange(n) / (n - 1))
    dct = np.array([[np.cos(i * (np.pi / 33) * (j - 0.5)) for j in range(1, 34)]
                    for i in range(1, 34)])

    def cepstrum(counter):
        frame = mono[counter * hop: counter * hop + n]
        spectrum = np.fft.rfft(frame * window, m)
        e = spectrum.real ** 2 + spectrum.imag ** 2
        e = e[bins - 1]
        f = np.zeros(35)
        np.add.at(f, lower, weight * e)
        np.add.at(f, lower + 1, e - weight * e)
        return np.sqrt(2 / 33) * dct.dot(f[1:34])

    out = []
    for k in range(32):
        p = cepstrum(8 * k)
        c = cepstrum(8 * k + 1)
        word = 0
        for i in range(32):
            if (c[i] - c[i + 1]) - (p[i] - p[i + 1]) > 0:
                word |= 1 << i
        out.append(word - (1 << 32) if word & 0x80000000 else word)
    bits = align // channels * 8
    return rate * channels * bits // 1000, out


def main():
    path = sys.argv[1]
    start = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    with open(path, 'rb') as f:
        data = f.read()
    bitrate, table = words(data, start)
    print('result 0')
    print('bitrate %d' % bitrate)
    for k, word in enumerate(table):
        print('%d %d' % (8 * k, word))


if __name__ == '__main__':
    main()
