"""Reads every record of make bench's file into numpy arrays with the Python
package, against the same reads through zep_read_f32 from C
(api_read_bench), runs of each taken in turn; prints the medians and the
best runs in values per second and their ratios (the package aims at 80 % of
C or more; on a loaded machine the best runs are the steadier figure).

Usage: /usr/bin/python3 bench/python_read_bench.py [BUILD_DIR [RUNS]]
(PYTHONPATH is set to BUILD_DIR/python here; the file is BUILD_DIR/bench.vkt).
"""
import os
import statistics
import subprocess
import sys
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
sys.path.insert(0, os.path.join(build, "python"))
import zep  # noqa: E402

path = os.path.join(build, "bench.vkt")
c_prog = os.path.join(build, "bench", "api_read_bench")
for needed in (path, c_prog):
    if not os.path.exists(needed):
        sys.exit("python_read_bench: %s is missing (make bench writes and builds it)" % needed)


def python_run():
    start = time.perf_counter()
    values = 0
    with zep.open(path) as f:
        for rec in f:
            values += rec.values().size
    return time.perf_counter() - start, values


def c_run():
    # Two passes in one process, the second timed: its buffer and the
    # library are warm, as the Python process's are.
    out = subprocess.run([c_prog, path, "2"], check=True, capture_output=True, text=True).stdout.split()
    return float(out[2]), int(out[3])


python_run()  # warm the page cache and the imports
py_times, c_times = [], []
for _ in range(runs):
    t, n_c = c_run()
    c_times.append(t)
    t, n_py = python_run()
    py_times.append(t)
if n_c != n_py:
    sys.exit("python_read_bench: C read %d values, Python %d" % (n_c, n_py))
tc, tp = statistics.median(c_times), statistics.median(py_times)
bc, bp = min(c_times), min(py_times)
print("read into memory: %d values, %d runs each taken in turn (median; best)" % (n_c, runs))
print("C zep_read_f32:       %7.3f s  %7.1f M values/s;  best %7.1f M values/s" % (tc, n_c / tc / 1e6, n_c / bc / 1e6))
print("Python rec.values():  %7.3f s  %7.1f M values/s;  best %7.1f M values/s" % (tp, n_py / tp / 1e6, n_py / bp / 1e6))
print("Python / C: %.0f %% of the C rate by medians, %.0f %% by best runs (aim: 80 %% or more)"
      % (100.0 * tc / tp, 100.0 * bc / bp))
