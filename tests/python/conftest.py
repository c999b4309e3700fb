"""Shared pieces of the module's tests: the built programs, a simulated chip and a board."""

import os
import re
import signal
import subprocess
import time
from pathlib import Path

import pytest

import tonvisor

SOURCE = Path(__file__).resolve().parents[2]
INIT_SCRIPT = SOURCE / "examples" / "krvl7300_init_script.txt"


def program(variable):
    """A built program named by the environment CTest gives the tests."""
    path = os.environ.get(variable)
    if not path:
        pytest.fail(f"{variable} is not set: run these tests through ctest")
    return path


class Board:
    """A tonvisor-board on a free loopback port, stopped at the end of the test."""

    def __init__(self):
        self.process = subprocess.Popen([program("TONVISOR_BOARD"), "--port", "0"], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        found = re.match(r"tonvisor-board: listening on 127\.0\.0\.1:(\d+)$", line.strip())
        if not found:
            self.stop()
            pytest.fail(f"tonvisor-board did not start: {line!r}")
        self.port = int(found.group(1))

    def freeze(self):
        """The board stops answering: connections still queue, nothing is served."""
        self.process.send_signal(signal.SIGSTOP)
        # The signal takes effect a moment later; the test starts once the board has stopped.
        stat = Path(f"/proc/{self.process.pid}/stat")
        deadline = time.monotonic() + 10
        while stat.read_text().rpartition(")")[2].split()[0] != "T":
            if time.monotonic() > deadline:
                pytest.fail("tonvisor-board did not stop")
            time.sleep(0.001)

    def thaw(self):
        self.process.send_signal(signal.SIGCONT)

    def stop(self):
        self.thaw()
        self.process.terminate()
        self.process.communicate(timeout=10)


@pytest.fixture
def board():
    started = Board()
    yield started
    started.stop()


@pytest.fixture
def chip():
    with tonvisor.open(simulate=True) as opened:
        yield opened


def run_cli(*arguments):
    return subprocess.run([program("TONVISOR_CLI"), *arguments], capture_output=True, text=True, timeout=60)
