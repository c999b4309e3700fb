"""A board test a rig can copy (with conftest.py beside it): pytest test_board.py --simulate, or
with the board's address in TONVISOR_HOST (and TONVISOR_PORT) to test a board on the network;
without either it tests the chip on the USB bridge.

    TONVISOR_HOST=192.168.1.50 pytest test_board.py
    pytest test_board.py --simulate
"""

import os

import pytest

import tonvisor


@pytest.fixture(scope="module")
def chip(request):
    host = os.environ.get("TONVISOR_HOST")
    if host:
        opened = tonvisor.open("ethernet", host=host, port=int(os.environ.get("TONVISOR_PORT", "30")))
    elif request.config.getoption("--simulate") or os.environ.get("TONVISOR_SIMULATE"):
        opened = tonvisor.open(simulate=True)
    else:
        opened = tonvisor.open("i2c")
    with opened:
        yield opened


def test_part_id(chip):
    assert chip.read("CHIP_ID_REG") >> 8 == 0xA0


@pytest.mark.parametrize("db, code", [(0, 0x3C), (-6, 0x47), (-90, 0xEF)])
def test_dac_volume_reaches_the_register(chip, db, code):
    chip.op("ConfigureDacVolume", db)
    assert chip.read("CHIP_DAC_VOL_REG") == code << 8 | code


def test_registers_hold_what_is_written(chip):
    before = chip.snapshot()
    for value in (0x0000, 0x5555, 0x2A2A):
        chip.write("CHIP_LINE_OUT_VOL_REG", value)
        assert chip.read("CHIP_LINE_OUT_VOL_REG") == value
    chip.write("CHIP_LINE_OUT_VOL_REG", before["CHIP_LINE_OUT_VOL_REG"])
    assert chip.diff(before) == []


def test_a_loud_level_is_refused_before_it_reaches_the_chip(chip):
    with pytest.raises(ValueError):
        chip.op("ConfigureDacVolume", 12)
