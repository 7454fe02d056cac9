#!/usr/bin/python3
"""Deviation distribution of calibration + lamp checks over simulated
detectors, for the nominal slit range and for narrow and wide slits.

    python3 python/tools/slit_study.py [--count N] [--shape triangular|gaussian]
"""

import argparse
import sys
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from lumitra.app import acceptance  # noqa: E402
from lumitra.simulator import random_detectors  # noqa: E402

GROUPS = [("0.3-0.6 nm", (0.3, 0.6)), ("0.6-1.0 nm", (0.6, 1.0)), ("1.0-1.5 nm", (1.0, 1.5)),
          ("2-4 nm (nominal)", (2.0, 4.0)), ("5-6 nm", (5.0, 6.0)), ("7-8 nm", (7.0, 8.0)),
          ("9-10 nm", (9.0, 10.0))]


def table(title, outcomes):
    stats = acceptance.summary(outcomes)
    every = np.array([abs(v) for o in outcomes for v in o.deviations.values()])
    rejected = sum(o.rejected for o in outcomes)
    failed = sum(not o.passed for o in outcomes if not o.rejected)
    print(f"\n{title}: {len(outcomes)} detectors, {rejected} rejected, {failed} with a line "
          f"outside 1 nm; all lines: max |dev| {every.max():.3f} nm, 95 % below "
          f"{np.percentile(every, 95):.3f} nm, rms {np.sqrt(np.mean(every ** 2)):.3f} nm")
    errors = np.array([o.position_errors for o in outcomes])
    print(f"record positions less true positions (elements): 360.8 nm max |e| "
          f"{np.abs(errors[:, 0]).max():.3f}, sd {errors[:, 0].std():.3f}; 656.1 nm max |e| "
          f"{np.abs(errors[:, 1]).max():.3f}, sd {errors[:, 1].std():.3f}")
    print("| line nm | mean | sd | p95 abs | max abs |")
    print("|---|---|---|---|---|")
    for line, s in stats.items():
        print(f"| {line:.1f} | {s['mean']:+.3f} | {s['sd']:.3f} | {s['p95_abs']:.3f} | "
              f"{s['max_abs']:.3f} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--count", type=int, default=200)
    parser.add_argument("--shape", default="triangular")
    parser.add_argument("--seed", type=int, default=7001)
    args = parser.parse_args()
    for name, slits in GROUPS:
        count = args.count if "nominal" in name else max(30, args.count // 4)
        start = time.time()
        outcomes = [acceptance.run(d) for d in random_detectors(
            count, seed=args.seed, slits=slits, slit_shape=args.shape)]
        table(f"slit {name}, {args.shape} ({time.time() - start:.1f} s)", outcomes)


if __name__ == "__main__":
    main()
