"""The Python examples run as a rig runs them: on the simulated chip and against a board."""

import os
import subprocess
import sys

import pytest

from conftest import SOURCE

EXAMPLES = SOURCE / "examples" / "python"


def run(arguments, environment=None):
    return subprocess.run([sys.executable, *arguments], capture_output=True, text=True, timeout=120,
                          env={**os.environ, **(environment or {})}, cwd=EXAMPLES)


@pytest.mark.parametrize("on_board", [False, True])
def test_examples_run(request, tmp_path, on_board):
    target = ["--host", "127.0.0.1", "--port", str(request.getfixturevalue("board").port)] if on_board else ["--simulate"]
    log = tmp_path / "bringup.txt"
    bringup = run([str(EXAMPLES / "bringup.py"), *target, "--save-log", str(log)])
    assert bringup.returncode == 0, bringup.stderr
    assert "CHIP_ID_REG = 0xA0" in bringup.stdout
    assert log.read_text().count("Write") > 15

    rig = ["-m", "pytest", "-q", "-p", "no:cacheprovider", "test_board.py"]
    tested = run(rig, {"TONVISOR_HOST": "127.0.0.1", "TONVISOR_PORT": target[3]}) if on_board else run(rig + target)
    assert tested.returncode == 0, tested.stdout + tested.stderr
    assert "6 passed" in tested.stdout
