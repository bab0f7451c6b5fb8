#!/usr/bin/env python3
"""Writes stats_golden.txt: monthly columns of realistic values and, for each,
the bits of the mean, deviation and skewness that the statistics must give.

The model below is independent of the C++ code: every quantity is rounded to
single precision after each operation (f32), the power and square-root calls
are the C library's in double precision (Python's math.pow and math.sqrt), and
the operations come in the prescribed order. Rerun it only to change the data:
    python3 tests/data/make_stats_golden.py > tests/data/stats_golden.txt
"""
import math
import random
import struct


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def bits(x):
    return '%08x' % struct.unpack('<I', struct.pack('<f', x))[0]


MISSING = f32(-99.99)


def stats(column):
    n, s1, s2, s3 = 0, f32(0.0), f32(0.0), f32(0.0)
    for x in column:
        if x == MISSING:
            continue
        n += 1
        s1 = f32(s1 + x)
        s2 = f32(s2 + f32(math.pow(x, 2)))
        s3 = f32(s3 + f32(math.pow(x, 3)))
    count = f32(n)
    mean = f32(s1 / count)
    variance = f32(f32(s2 / count) - f32(math.pow(mean, 2)))
    if 0.0 > variance:
        variance = 0.0
    deviation = f32(math.sqrt(variance))
    v = f32(math.pow(variance, 1.5))
    if v == 0.0:
        return mean, deviation, f32(0.0)
    numerator = f32(f32(f32(s3 / count) - f32(f32(mean * f32(3.0)) * variance))
                    - f32(math.pow(mean, 3)))
    return mean, deviation, f32(numerator / v)


def column(rng):
    years = rng.randint(1, 100)
    if rng.random() < 0.5:  # precipitation totals, some dry months
        values = [0.0 if rng.random() < 0.1 else round(rng.uniform(0, 400), 1)
                  for _ in range(years)]
    else:  # monthly mean temperatures
        values = [round(rng.uniform(-30, 40), rng.choice([1, 2, 4]))
                  for _ in range(years)]
    values = [f32(v) for v in values]
    # Some missing-value cells, never all of them.
    for i in range(years):
        if rng.random() < 0.05 and i > 0:
            values[i] = MISSING
    return values


def main():
    rng = random.Random(20261207)
    print('# years, the cells (float bits), then mean, deviation, skewness (float bits)')
    for _ in range(300):
        col = column(rng)
        out = stats(col)
        print(len(col), ' '.join(bits(x) for x in col), '|', ' '.join(bits(x) for x in out))


main()
