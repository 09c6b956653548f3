#!/usr/bin/env python3
"""Deterministic test trees: the same seed gives the same names, folders and sizes.

make_tree.py ROOT FILES MEDIAN_BYTES [--real] [--seed N]

Sizes are log-normal around MEDIAN_BYTES; files hold real bytes with --real, and are sparse
(no blocks on disk) otherwise, which is all a scan or a plan needs.
"""
import argparse
import os
import random


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("files", type=int)
    parser.add_argument("median", type=float)
    parser.add_argument("--real", action="store_true")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--sigma", type=float, default=1.5)
    parser.add_argument("--max-bytes", type=int, default=1 << 30)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    block = rng.randbytes(1 << 20) if args.real else b""
    # About 40 files per folder, folders three levels deep, as in a photo or document archive.
    per_folder = 40
    made = 0
    folder_index = 0
    while made < args.files:
        a, b, c = folder_index // 400, (folder_index // 20) % 20, folder_index % 20
        folder = os.path.join(args.root, f"set{a:03d}", f"album{b:02d}", f"roll{c:02d}")
        os.makedirs(folder, exist_ok=True)
        for i in range(min(per_folder, args.files - made)):
            size = min(int(rng.lognormvariate(0, args.sigma) * args.median), args.max_bytes)
            path = os.path.join(folder, f"img_{made:07d}_{rng.getrandbits(24):06x}.jpg")
            with open(path, "wb") as out:
                if args.real:
                    left = size
                    while left > 0:
                        chunk = block[: min(left, len(block))]
                        out.write(chunk)
                        left -= len(chunk)
                else:
                    out.truncate(size)
            made += 1
        folder_index += 1


if __name__ == "__main__":
    main()
