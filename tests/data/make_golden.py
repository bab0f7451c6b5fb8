#!/usr/bin/env python3
"""Writes the golden data that tests compare bit for bit, beside this script:

stats_golden.txt: monthly columns of realistic values and, for each, the bits
of the mean, deviation and skewness that the statistics must give;
soil_golden.txt: sand and clay contents and, for each pair, the bits of the
wilting point, field capacity, conductivity and bulk density that the soil
water characteristics must give.

The models below are independent of the C++ code: every stored quantity is
rounded to single precision (f32), the power, exponential, base-10 logarithm
and square-root calls are the C library's in double precision (Python's math
module), and the operations come in the prescribed order. Rerun it only to
change the data:
    python3 tests/data/make_golden.py
"""
import math
import os
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


def write_stats(out):
    rng = random.Random(20261207)
    print('# years, the cells (float bits), then mean, deviation, skewness (float bits)', file=out)
    for _ in range(300):
        col = column(rng)
        result = stats(col)
        print(len(col), ' '.join(bits(x) for x in col), '|', ' '.join(bits(x) for x in result),
              file=out)


def soil_values(sa, cl):
    """Saxton et al. (1986) with the adjustments: sand and clay in percent
    (floats), each expression in double precision on the widened floats."""
    sa2 = math.pow(sa, 2.0)
    cl2 = math.pow(cl, 2.0)
    a = f32(math.exp(-4.396 - 0.0715 * cl - 0.000488 * sa2 - cl * (4.285e-05 * sa2)))
    b = f32(-3.14 - 0.00222 * cl2 - cl * (3.484e-05 * sa2))
    theta_s = f32((0.332 - 0.0007251 * sa) + 0.1276 * math.log10(cl))
    theta_15 = f32(math.pow(15.0 / a, 1.0 / b))
    theta_033 = f32(math.pow(0.333 / a, 1.0 / b))
    k = f32(math.exp((12.012 - 0.0755 * sa)
                     + (((0.03671 * sa - 3.895) - 0.1103 * cl) + 0.00087546 * cl2) / theta_s))
    # Then in single precision, each operation rounded on its own.
    bulk_base = f32(f32(2.65) * f32(f32(1.0) - theta_s))
    wilting_point = f32(f32(theta_15 * f32(-0.15)) + theta_15)
    field_capacity = f32(f32(theta_033 * f32(0.07)) + theta_033)
    conductivity = f32(k / f32(1500.0))
    bulk_density = f32(f32(bulk_base * f32(-0.08)) + bulk_base)
    return wilting_point, field_capacity, conductivity, bulk_density


def write_soil(out):
    print('# sand, clay (float bits), then wilting point, field capacity, conductivity,'
          ' bulk density (float bits)', file=out)
    # Off the whole percentages, so that every rounding step is exercised.
    for sand in range(0, 101, 3):
        for clay in range(1, 101 - sand, 3):
            sa = f32(f32(sand) * f32(1.01))
            cl = f32(f32(clay) * f32(0.99))
            print(bits(sa), bits(cl), '|', ' '.join(bits(x) for x in soil_values(sa, cl)),
                  file=out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, 'stats_golden.txt'), 'w') as out:
        write_stats(out)
    with open(os.path.join(here, 'soil_golden.txt'), 'w') as out:
        write_soil(out)


main()
