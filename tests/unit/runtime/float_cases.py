#!/usr/bin/env python3
"""Cases for the float text property test, with Python's own conversions as the oracle.

Prints one case a line:
  M <bits> <text>          the molded text of the double (shortest digits, keep-zero layout)
  R <bits> <p> <digits> <decpt>   digits of the double capped at p significant digits
  G <bits> <kind> <text>   the formed text of a kind (16, 13 or 7 digits), pretty-printing off
  T <text> <bits>          the double that float() reads from the text
  P <text> <bits>          the same with the decimal exponent lowered by 2 (percents)
Doubles are given as 16 hexadecimal digits of their bit pattern.
"""
import decimal
import math
import random
import struct
import sys

decimal.getcontext().prec = 1000


def bits(x):
    return struct.unpack('<Q', struct.pack('<d', x))[0]


def from_bits(b):
    return struct.unpack('<d', struct.pack('<Q', b))[0]


def digits_of(text):
    """Digits without trailing zeros and the point position: value = 0.digits x 10^decpt."""
    sign, digits, exp = decimal.Decimal(text).as_tuple()
    d = ''.join(map(str, digits)).rstrip('0')
    return d, len(digits) + exp


def layout(x):
    if math.isnan(x):
        return '1.#NaN'
    if math.isinf(x):
        return '-1.#INF' if x < 0 else '1.#INF'
    neg = math.copysign(1.0, x) < 0
    if x == 0:
        return '-0.0' if neg else '0.0'
    d, k = digits_of(repr(abs(x)))
    if k > 17 or k < -6:
        t = d[0] + '.' + (d[1:] or '0') + 'e' + str(k - 1)
    elif k <= 0:
        t = '0.' + '0' * -k + d
    else:
        t = d[:k].ljust(k, '0') + '.' + (d[k:] or '0')
    return ('-' if neg else '') + t


def general(x, kind):
    p = {0: 7, 1: 16, 3: 13}[kind]
    t = '%.*g' % (p, x)
    if 'e' in t:
        m, e = t.split('e')
        e = int(e)
        t = m + 'e' + str(e)
    if kind == 3:
        return t + '%'
    if '.' not in t:
        t = t.replace('e', '.0e') if 'e' in t else t + '.0'
    return t


def random_double(rng):
    r = rng.random()
    if r < 0.4:
        while True:
            x = from_bits(rng.getrandbits(64))
            if math.isfinite(x):
                return x
    if r < 0.7:
        x = float('%.17fe%d' % (rng.random(), rng.randint(-330, 308)))
        return x if rng.random() < 0.5 else -x
    if r < 0.85:
        return float(rng.randint(-10 ** 18, 10 ** 18)) / 10 ** rng.randint(0, 20)
    if r < 0.95:
        # Around the switch between fixed and exponent notation.
        return rng.choice((1, -1, 1.5, 9.999999, 0.1234567)) * float('1e%d' % rng.randint(-9, 20))
    return rng.choice((0.0, -0.0, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
                       0.1, 0.3, 1e16, 1e17, 1e-7, 1e-8, 123456789012345678.0))


def random_text(rng):
    r = rng.random()
    sign = rng.choice(('', '', '-', '+'))
    if r < 0.8:
        ip = ''.join(rng.choice('0123456789') for _ in range(rng.randint(0, 20)))
        if rng.random() < 0.2:
            ip = '0' * rng.randint(1, 5) + ip
        fp = ''.join(rng.choice('0123456789') for _ in range(rng.randint(0, 20)))
        if not ip and not fp:
            ip = rng.choice('0123456789')
        t = ip + ('.' + fp if fp or rng.random() < 0.3 else '')
        if rng.random() < 0.5:
            t += rng.choice('eE') + rng.choice(('', '+', '-')) + str(rng.randint(0, 340))
        return sign + t
    # Halfway points between neighbouring doubles and texts just beside them: long digit strings.
    x = abs(random_double(rng))
    if x == 0 or math.isinf(x):
        x = 1.0
    h = (decimal.Decimal(x) + decimal.Decimal(math.nextafter(x, 0.0))) / 2
    t = format(h, 'f') if rng.random() < 0.5 else format(h, 'e')
    nudge = rng.random()
    if nudge < 0.3 and 'e' not in t:
        t += '000000000000001'
    elif nudge < 0.6:
        mant, _, exp = t.partition('e')
        if mant[-1] in '123456789':
            mant = mant[:-1] + str(int(mant[-1]) - 1) + '9' * 30
        t = mant + ('e' + exp if exp else '')
    return sign + t


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 20240611)
    out = []
    for i in range(count):
        x = random_double(rng)
        b = '%016x' % bits(x)
        out.append('M %s %s' % (b, layout(x)))
        if i % 8 == 0 and x != 0:
            p = rng.randint(1, 17)
            d, k = digits_of(repr(abs(x)))
            if len(d) > p:
                d, k = digits_of('%.*e' % (p - 1, abs(x)))
            out.append('R %s %d %s %d' % (b, p, d, k))
        if i % 8 == 1:
            kind = rng.choice((0, 1, 3))
            out.append('G %s %d %s' % (b, kind, general(x, kind)))
        t = random_text(rng)
        out.append('T %s %016x' % (t, bits(float(t))))
        if i % 16 == 0:
            out.append('P %s %016x' % (t, bits(float(decimal.Decimal(t).scaleb(-2)))))
    sys.stdout.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
