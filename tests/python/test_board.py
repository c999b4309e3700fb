"""The module over the Ethernet link, against tonvisor-board on a loopback port."""

import os
import signal
import threading
import time

import pytest

import tonvisor
from conftest import INIT_SCRIPT

# The link waits this long for each step of an exchange with the board.
TIMEOUT = 3.0


def test_every_call_over_the_board(board, tmp_path):
    with tonvisor.open("ethernet", host="127.0.0.1", port=board.port) as chip:
        assert chip.link == "ethernet"
        chip.write("CHIP_ANA_HP_CTRL_REG", 0x1818)
        chip.modify(0x0022, 0xFF00, 0x0033)
        assert chip.read(0x0022) == 0x1833
        chip.op("ConfigureDacVolume", -6)
        assert chip.run_script(INIT_SCRIPT) > 10
        snapshot = chip.snapshot(tmp_path / "board.txt")
        assert chip.diff(tmp_path / "board.txt") == []
        assert snapshot["CHIP_ANA_HP_CTRL_REG"] == chip.read(0x0022)
        assert any(f.name == "ConfigureSampleRate" for f in chip.fields())
        assert chip.log[0] == ("write", 0x0022, 0x1818, "Write")


def test_a_board_that_stops_answering_waits_out_one_time_out(board, tmp_path):
    script = tmp_path / "many.txt"
    script.write_text("".join(f"Write 0x0022 0x{n:04X}\n" for n in range(10)))
    with tonvisor.open("ethernet", host="127.0.0.1", port=board.port) as chip:
        chip.write(0x22, 0x0101)
        board.freeze()
        start = time.monotonic()
        with pytest.raises(tonvisor.AccessError) as raised:
            chip.run_script(script)
        took = time.monotonic() - start
        board.thaw()
    # One time-out for the whole run, not one per line.
    assert TIMEOUT * 0.9 < took < TIMEOUT * 1.9
    error = raised.value
    assert (error.register, error.link) == (0x22, "ethernet")
    assert str(error).startswith("10 of 10 register writes of the script did not reach the chip. The first, line 1")
    assert "Tonvisor: Getting Return Code Falied" in error.messages


def test_other_threads_run_while_the_link_waits(board, tmp_path):
    script = tmp_path / "slow.txt"
    script.write_text("".join(f"Write 0x0022 0x{n:04X}\n" for n in range(50)))  # 50 x 20 ms at least
    ticks = 0
    done = threading.Event()

    def tick():
        nonlocal ticks
        while not done.is_set():
            ticks += 1
            time.sleep(0.002)

    with tonvisor.open("ethernet", host="127.0.0.1", port=board.port) as chip:
        ticker = threading.Thread(target=tick)
        ticker.start()
        time.sleep(0.01)
        before = ticks
        chip.run_script(script)
        during = ticks - before
        done.set()
        ticker.join()
    # Held GIL: the ticker would not move at all while the script runs (500 ticks when idle).
    assert during > 20


def test_ctrl_c_stops_a_slow_script_between_two_writes(board, tmp_path):
    script = tmp_path / "slow.txt"
    script.write_text("".join(f"Write 0x0022 0x{n:04X}\n" for n in range(200)))  # 4 s at least
    with tonvisor.open("ethernet", host="127.0.0.1", port=board.port) as chip:
        interrupt = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
        start = time.monotonic()
        interrupt.start()
        with pytest.raises(KeyboardInterrupt):
            chip.run_script(script)
        took = time.monotonic() - start
        # What was written stays in the log; the next call works.
        assert 5 < len(chip.log) < 200 and took < 2.5
        chip.write(0x22, 0x0101)
