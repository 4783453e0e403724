"""What a call of the tracker through the Python module costs over the same call from C++.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_overhead.py build/bench/tovrak_library_bench

Both track the virtual camera's 640 x 480 frames (every third frame of its path, 30 of them, in
a loop), in one run: the C++ benchmark and the module alternated seven times, 0.5 s each. This
machine's speed drifts by tens of per cent from one second to the next, so the fastest of each
is compared (the work is the same; only what slows both differs), and the medians shown beside.
"""
import json
import statistics
import subprocess
import sys
import time

import tovrak

cxx_bench = sys.argv[1]
film = tovrak.VirtualCamera("size=640x480,noise=2")
frames = [film.frame(3 * n) for n in range(30)]
cxx, python = [], []
for _ in range(7):
    out = subprocess.run([cxx_bench, "--benchmark_format=json", "--benchmark_min_time=0.5"], check=True,
                         capture_output=True, text=True).stdout
    cxx.append(json.loads(out)["benchmarks"][0]["real_time"])
    tracker = tovrak.Tracker(film.camera)
    calls = 0
    start = time.perf_counter()
    while time.perf_counter() - start < 0.5:
        tracker.track(frames[calls % len(frames)])
        calls += 1
    python.append(1e6 * (time.perf_counter() - start) / calls)
c, p = min(cxx), min(python)
print(f"fastest: C++ {c:.0f} us a frame, Python {p:.0f} us a frame: {100 * (p / c - 1):+.1f} %")
print(f"medians: C++ {statistics.median(cxx):.0f} us, Python {statistics.median(python):.0f} us")
