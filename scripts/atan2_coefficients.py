#!/usr/bin/python3
"""The polynomial of the vector atan2 (platform/atan2_kernel.inc).

atan(u) = u + u^3 P(u^2) for 0 <= u <= tan(pi/8). P is fitted by the Remez
exchange on s = u^2 in [0, 0.175] (a little beyond tan(pi/8)^2 = 0.1716),
minimising the error of u^3 P relative to u, i.e. max |s (P(s) - f(s))|,
where f(s) = (atan(sqrt s) - sqrt s) / s^1.5. Prints the coefficients rounded
to doubles, lowest degree first, and the error left after the rounding in
units of 2^-53 (the kernel's comment quotes it). Needs mpmath (Debian
python3-mpmath).
"""
import sys

import mpmath as mp

mp.mp.dps = 50
S = mp.mpf("0.175")


def f(s):
    # The series of atan converges fast for s <= 0.175.
    return mp.fsum((-1) ** k * mp.mpf(s) ** (k - 1) / (2 * k + 1) for k in range(1, 90))


def weighted_error(c, s):
    return s * (mp.polyval(c[::-1], s) - f(s))


def remez(degree, rounds=12, grid=4000):
    n = degree + 2
    xs = [S / 2 * (1 - mp.cos(mp.pi * j / (n - 1))) for j in range(n)]
    xs[0] = S * mp.mpf("1e-6")
    points = [S * k / grid for k in range(grid + 1)]
    for _ in range(rounds):
        a = mp.matrix(n, n)
        b = mp.matrix(n, 1)
        for j, x in enumerate(xs):
            for i in range(degree + 1):
                a[j, i] = x ** (i + 1)
            a[j, degree + 1] = (-1) ** j
            b[j] = f(x) * x
        sol = mp.lu_solve(a, b)
        c = [sol[i] for i in range(degree + 1)]
        errors = [weighted_error(c, x) for x in points]
        extrema = [points[k] for k in range(1, grid)
                   if abs(errors[k]) >= abs(errors[k - 1]) and abs(errors[k]) >= abs(errors[k + 1])]
        extrema.append(points[grid])
        if len(extrema) >= n:
            xs = sorted(extrema)[-n:]
    return c


def main():
    degree = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    rounded = [float(x) for x in remez(degree)]
    worst = max(abs(weighted_error([mp.mpf(x) for x in rounded], S * k / 3000)) for k in range(3001))
    for x in rounded:
        print(repr(x))
    print(f"largest error relative to u: {mp.nstr(worst / mp.mpf(2) ** -53, 3)} x 2^-53")


if __name__ == "__main__":
    main()
