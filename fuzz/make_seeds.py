#!/usr/bin/env python3
"""Writes the seed corpus: small programs in the fuzz target's input format
(see fuzz_run.cpp), each starting the search in a different corner."""
import os
import struct

# Indices into the target's table of control values.
NAN, INF, NINF, ZERO, NZERO, BIG, NBIG, FMAX, NFMAX, DENORM, ONE, NONE, HUNDRED, NHUNDRED, FIFTY = range(15)
TENTH, RATE, CENTER, CMAX, CMIN, TEN, FOUR, FRAC, ROW39, ROW40, FIVE, HALF, THREEHUNDRED, GIGA, PASTRATE, NTWO, TWO31 = range(15, 32)
MIX, RATE_P, GDOWN, GUP, SHAPE, RES, CENTRE, OCT, TYPE = range(9)
SILENCE, SINE, NOISE, IMPULSE, HUGE, PLAIN_NOISE, NONFINITE = range(7)


def setc(port, pick):
    return bytes([0, port, pick])


def setraw(port, value):
    return bytes([0, port, 255]) + struct.pack('<f', value)


def run(n, kind=SINE, level=ONE, in_place=0, seed=1):
    return bytes([1]) + struct.pack('<H', n) + bytes([in_place, kind, level]) + struct.pack('<H', seed)


reconnect = lambda copy=1: bytes([3, copy])
cycle_activation = bytes([4])
replace = lambda rate=RATE: bytes([5, rate])
select = lambda slot: bytes([6, slot])
bogus_port = lambda index=0: bytes([7, index])

seeds = {
    'plain': run(512) * 3 + run(16, NOISE, HUNDRED, 1),
    'shapes': setc(RATE_P, FIFTY) + b''.join(setc(SHAPE, s) + run(4096, NOISE) for s in (ZERO, ONE, FRAC, FIVE, NONE)),
    'nonfinite_input': run(2048, NONFINITE, ONE, 1) + run(2048, NONFINITE) + run(777, SINE),
    'wild_controls': b''.join(setc(p, v) + run(300, NOISE) for v in (NAN, INF, NBIG, NINF, DENORM) for p in range(9)),
    'instances': select(1) + run(1000) + select(2) + run(1000, NOISE) + replace(NAN) + cycle_activation
                 + reconnect(0) + run(64) + select(0) + reconnect(1) + run(8192),
    'frame_counts': b''.join(run(n, NOISE, ONE, n & 1) for n in (1, 15, 17, 0, 8191, 8192, 33, 4097)),
    'negative_rate': setc(RATE_P, NTWO) + setc(SHAPE, TWO31) + setc(GDOWN, NONE) + setc(GUP, NHUNDRED)
                     + setc(SHAPE, FRAC) + run(8192) * 4,
    'huge_feedback': setc(RES, BIG) + run(1024, HUGE) + setraw(RES, 1.5e38) + run(1024, SINE, HUNDRED) + setc(RES, INF) + run(64),
    'empty_runs': setc(RES, ZERO) + bogus_port(3) + run(0) + bogus_port(200) + setc(TYPE, ROW39) + run(128),
    'band_edges': setc(CENTRE, ZERO) + run(600) + setc(CENTRE, NHUNDRED) + setc(OCT, THREEHUNDRED) + run(8192)
                  + setc(OCT, NINF) + setc(CENTRE, BIG) + run(8192),
    'types': b''.join(setraw(TYPE, float(t)) + run(200, NOISE) for t in range(-3, 45)),
}

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')
os.makedirs(here, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(here, name), 'wb') as f:
        f.write(data)
