#!@BENCH_PYTHON@
"""Register accesses per second through the Python module.

- Simulated chip, I2C: Chip.read and Chip.write against the same accesses made from C++
  (access_bench); the difference is what the binding adds per access (goal: at most 2 us).
- Ethernet against tonvisor-board: 200 writes in one script run and 100 Chip.write calls,
  against 20 ms per access, the pause the board needs after each (goal: at most 1.01 of it),
  and the same script run by tonvisor-cli (the C++ client's pace on this machine now).
"""

import json
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, "@BENCH_PYTHONPATH@")
import tonvisor  # noqa: E402

ACCESS_BENCH = "@BENCH_ACCESS@"
BOARD = "@BENCH_BOARD@"
CLI = "@BENCH_CLI@"
PAUSE = 0.020


def per_call(call, count):
    """Seconds per call, the best of five rounds."""
    best = float("inf")
    for _ in range(5):
        start = time.perf_counter()
        for _ in range(count):
            call()
        best = min(best, (time.perf_counter() - start) / count)
    return best


def cpp_figures():
    output = subprocess.run([ACCESS_BENCH, "--benchmark_format=json"], capture_output=True, text=True, check=True)
    runs = json.loads(output.stdout)["benchmarks"]
    return {run["name"].removeprefix("BM_"): run["real_time"] * {"ns": 1e-9, "us": 1e-6}[run["time_unit"]]
            for run in runs}


def simulated():
    # C++ and Python rounds take turns, so that a machine busy with other work slows both alike.
    cpp, python = {}, {}
    with tonvisor.open(simulate=True) as chip:
        log = chip.log

        def write():
            chip.write(0x0022, 0x1234)
            # The log holds 2,000 entries; keep it from filling, as access_bench does.
            if len(log) >= 1990:
                log.clear()
        for _ in range(3):
            for name, seconds in cpp_figures().items():
                cpp[name] = min(cpp.get(name, float("inf")), seconds)
            for name, call in (("Read", lambda: chip.read(0x0022)), ("Write", write)):
                python[name] = min(python.get(name, float("inf")), per_call(call, 20000))
    print("Simulated chip, I2C          Python        C++     binding adds  (goal <= 2 us)")
    for name in ("Read", "Write"):
        added = (python[name] - cpp[name]) * 1e6
        print(f"  {name:<6} {1 / python[name]:>12,.0f}/s {1 / cpp[name]:>10,.0f}/s  {added:8.2f} us     "
              f"{'met' if added <= 2 else 'MISSED'}")


def ethernet():
    board = subprocess.Popen([BOARD, "--port", "0"], stdout=subprocess.PIPE, text=True)
    try:
        port = int(re.search(r":(\d+)$", board.stdout.readline().strip()).group(1))
        with tonvisor.open("ethernet", host="127.0.0.1", port=port) as chip, tempfile.TemporaryDirectory() as folder:
            script = Path(folder) / "writes.txt"
            script.write_text("".join(f"Write 0x0022 0x{n:04X}\n" for n in range(200)))
            start = time.perf_counter()
            chip.run_script(script)
            scripted = (time.perf_counter() - start) / 200
            chip.log.clear()
            calls = per_call(lambda: chip.write(0x0022, 0x1234), 100)
            start = time.perf_counter()
            subprocess.run([CLI, "--link", "ethernet", "--host", "127.0.0.1", "--port", str(port), "run", str(script)],
                           check=True)
            cli = (time.perf_counter() - start) / 200
    finally:
        board.terminate()
        board.wait()
    print("Ethernet, tonvisor-board     per access  accesses x 20 ms  (goal <= 1.01)")
    for name, seconds in (("run_script", scripted), ("write", calls), ("cli run", cli)):
        print(f"  {name:<10} {seconds * 1e3:13.2f} ms {seconds / PAUSE:14.3f}           "
              f"{'met' if seconds / PAUSE <= 1.01 else 'MISSED'}")


if __name__ == "__main__":
    simulated()
    ethernet()
