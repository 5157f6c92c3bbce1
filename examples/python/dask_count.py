#!/usr/bin/env python3
"""One count of a whole digit file over many machines, on Dask.

    dask_count.py FILE BASE [--scheduler ADDRESS] [--pieces N] [--stats]

Cuts the file's digits into N pieces of whole words (default: four a
worker's thread), one task each; each task opens the file where it runs (a
shared file system, or a copy at the same path on every machine) and counts
its piece on its worker's processors. The counts add up, and print as
`rovurer --count FILE BASE` prints them. With --stats, each task gathers its
piece's statistics instead, and the pieces' states merge in order into what
`rovurer --stats --json FILE BASE` prints. With no scheduler, a LocalCluster
of two workers runs the tasks.
"""
import argparse
import json

import rovurer

PER_WORD = {10: 19, 16: 16, 2: 64}


def count_piece(path, base, pos, n):
    with rovurer.open(path) as f:
        return f.count(base, pos, n)


def statistics_piece(path, base, pos, n):
    with rovurer.open(path) as f:
        return f.gather_statistics(base, pos, n)


def pieces(digits, base, wanted):
    """(pos, n) of `wanted` pieces of whole words that cover the digits."""
    per_word = PER_WORD[base]
    words = -(-digits // per_word)
    words_each = max(1, -(-words // wanted))
    step = words_each * per_word
    return [(pos, min(step, digits - pos + 1)) for pos in range(1, digits + 1, step)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("file")
    parser.add_argument("base", type=int, choices=(10, 16, 2))
    parser.add_argument("--scheduler", help="the address of a Dask scheduler (default: a LocalCluster)")
    parser.add_argument("--pieces", type=int, help="how many tasks (default: four a worker's thread)")
    parser.add_argument("--stats", action="store_true", help="the statistics, as rovurer --stats --json")
    args = parser.parse_args()

    from dask.distributed import Client, LocalCluster

    with rovurer.open(args.file) as f:
        digits = f.facts["digits"][args.base]
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        client = Client(LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None))
    with client:
        threads = sum(client.nthreads().values())
        parts = pieces(digits, args.base, args.pieces or 4 * threads)
        work = statistics_piece if args.stats else count_piece
        futures = client.map(work, [args.file] * len(parts), [args.base] * len(parts), *zip(*parts), pure=False)
        answers = client.gather(futures)
    if args.stats:
        merged = answers[0]
        for state in answers[1:]:
            merged.merge(state)  # raises rovurer.PartError for a piece that does not follow
        print(json.dumps(merged.summary(), separators=(",", ":")))
    else:
        total = sum(answers)
        for digit, count in enumerate(total):
            print("0123456789ABCDEF"[digit], count)


if __name__ == "__main__":
    main()
