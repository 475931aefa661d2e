#!/usr/bin/python3
"""The Python bulk planners against single calls and against a C++ loop over the same requests.

    bench/python_bulk.py [--build build/release] [--passes 5] [--no-single]

Needs a release build with benchmarks (`cmake --preset release && cmake --build
--preset release`, or the targets `vorl_exchange_c` and `bulk_requests_loop`).
Three request sets:
- every ordered pair of distinct tarn tiles, count 1 (2,165,312 point-to-point plans);
- 200,000 multicasts: random senders, one to four random receivers, counts 1..4148, offsets 0..63;
- 200,000 paired multicasts: random senders, one or two random pairs, counts 1..4148.
Each set is planned by the Python bulk call (best wall time of the passes, and
the first call, which also pays for the fresh output memory), by the C++ loop
`bulk_requests_loop` (one C++ planner call per request, best of the passes),
and, for point to point, by the Python single call in a loop (one pass).
"""

from __future__ import annotations

import argparse
import os
import pathlib
import platform
import subprocess
import sys
import tempfile
import time

SOURCE = pathlib.Path(__file__).resolve().parents[1]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(SOURCE / "build" / "release"), help="the release build directory")
    parser.add_argument("--passes", type=int, default=5)
    parser.add_argument("--no-single", action="store_true", help="skip the Python single-call loop (several seconds)")
    arguments = parser.parse_args()
    build = pathlib.Path(arguments.build)
    sys.path.insert(0, str(build / "python"))
    import numpy as np

    import vorl_exchange

    loop = build / "bench" / "bulk_requests_loop"
    tarn = vorl_exchange.Topology.tarn()
    rng = np.random.default_rng(24)
    print(f"vorl_exchange {vorl_exchange.__version__}, Python {platform.python_version()}, NumPy {np.__version__}, "
          f"{platform.machine()}, {os.cpu_count()} CPUs")

    # Every ordered pair of distinct tiles.
    tiles = np.arange(1472, dtype=np.uint16)
    senders = np.repeat(tiles, 1472)
    receivers = np.tile(tiles, 1472)
    distinct = senders != receivers
    p2p = {"senders": senders[distinct], "receivers": receivers[distinct],
           "counts": np.ones(int(distinct.sum()), np.uint32)}

    def lists(n: int, paired: bool) -> tuple[np.ndarray, np.ndarray]:
        if paired:
            pairs = rng.integers(1, 3, n)
            lengths = 2 * pairs
            firsts = 2 * rng.integers(0, 736, int(pairs.sum()), dtype=np.uint16)
            flat = np.stack([firsts, firsts + 1], axis=1).reshape(-1)
        else:
            lengths = rng.integers(1, 5, n)
            flat = rng.integers(0, 1472, int(lengths.sum()), dtype=np.uint16)
        offsets = np.zeros(n + 1, np.uint64)
        np.cumsum(lengths, out=offsets[1:])
        return flat.astype(np.uint16), offsets

    n = 200_000
    flat, offsets = lists(n, False)
    multicast = {"senders": rng.integers(0, 1472, n, dtype=np.uint16), "receivers": flat, "receiver_offsets": offsets,
                 "counts": rng.integers(1, 4149, n, dtype=np.uint32),
                 "schedule_offsets": rng.integers(0, 64, n, dtype=np.uint32)}
    flat, offsets = lists(n, True)
    paired = {"senders": rng.integers(0, 1472, n, dtype=np.uint16), "receivers": flat, "receiver_offsets": offsets,
              "counts": rng.integers(1, 4149, n, dtype=np.uint32)}

    def bulk(kind: str, requests: dict) -> tuple[float, float, object]:
        call = {"point_to_point": lambda: tarn.point_to_point_many(**requests),
                "multicast": lambda: tarn.multicast_many(**requests),
                "paired_multicast": lambda: tarn.paired_multicast_many(**requests)}[kind]
        times = []
        for _ in range(arguments.passes):
            start = time.perf_counter()
            result = call()
            times.append(time.perf_counter() - start)
        return times[0], min(times), result

    def cpp_loop(kind: str, requests: dict) -> float:
        with tempfile.TemporaryDirectory() as directory:
            for name, array in requests.items():
                array.tofile(os.path.join(directory, name))
            out = subprocess.run([str(loop), kind, directory, str(arguments.passes)], check=True,
                                 capture_output=True, text=True).stdout.split()
        return float(out[0])

    print(f"{'requests':<40} {'bulk first':>11} {'bulk best':>10} {'C++ loop':>9} {'ratio':>6} {'planned':>9}")
    for kind, requests in (("point_to_point", p2p), ("multicast", multicast), ("paired_multicast", paired)):
        first, best, result = bulk(kind, requests)
        cpp = cpp_loop(kind, requests)
        label = f"{kind} x {len(requests['senders']):,}"
        print(f"{label:<40} {first:>10.3f}s {best:>9.3f}s {cpp:>8.3f}s {best / cpp:>5.1f}x "
              f"{int(result.ok.sum()):>9,}")

    if not arguments.no_single:
        start = time.perf_counter()
        plan = tarn.point_to_point
        for sender, receiver in zip(p2p["senders"].tolist(), p2p["receivers"].tolist()):
            plan(sender, receiver, 1)
        print(f"point_to_point x {len(p2p['senders']):,}, single calls: {time.perf_counter() - start:.2f}s")


if __name__ == "__main__":
    main()
