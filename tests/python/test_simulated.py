"""The module against the simulated chip: register access, operations, scripts, snapshots, the
write log and the refusals."""

import threading
import warnings

import pytest

import tonvisor
from conftest import INIT_SCRIPT, run_cli


def test_register_access_by_name_and_address_is_logged(chip):
    chip.write("CHIP_ANA_HP_CTRL_REG", 0x1234)
    chip.modify(0x0022, 0xFF0F, 0x0050)
    assert chip.read(0x0022) == 0x1254
    assert chip.read("CHIP_ID_REG") >> 8 == 0xA0
    # A read logs nothing; the modify logs its one write with the merged value.
    assert list(chip.log) == [("write", 0x0022, 0x1234, "Write"), ("write", 0x0022, 0x1254, "Write")]
    chip.log.clear()
    assert len(chip.log) == 0


@pytest.mark.parametrize("call, error", [
    (lambda c: c.read("CHIP_NO_SUCH_REG"), ValueError),
    (lambda c: c.read(0x10000), ValueError),
    (lambda c: c.read(-1), ValueError),
    (lambda c: c.read(1.5), TypeError),
    (lambda c: c.write(0x22, 0x10000), ValueError),
    (lambda c: c.modify(0x22, -1, 0), ValueError),
    (lambda c: c.op("ConfigureDacVolumes", -6), ValueError),
    (lambda c: c.op("ConfigureDacVolume"), ValueError),
    (lambda c: c.op("ConfigureDacVolume", 6.0), ValueError),  # louder than the DAC's 0 dB
    (lambda c: c.op("WriteHpLeftVolume", -1), ValueError),
    (lambda c: c.op("ConfigureDacVolume", float("inf")), ValueError),
    (lambda c: c.op("LoadPeqPreset", "Loud"), ValueError),
    (lambda c: c.op("WriteGeqVolume", 5, 47), ValueError),
    (lambda c: c.op("WriteHpLeftVolume", 128), ValueError),  # would wrap to code 0, +12 dB
    (lambda c: c.op("RampHpVolume", 128), ValueError),
    (lambda c: c.op("ConfigureDacVolume", [1]), TypeError),
])
def test_bad_arguments_are_refused_before_any_access(chip, call, error):
    with pytest.raises(error):
        call(chip)
    assert len(chip.log) == 0


@pytest.mark.parametrize("arguments, words", [
    (dict(link="usb"), "link must be"),
    (dict(i2c_address=0x80), "i2c_address must be from 0x0 to 0x7F"),
    (dict(i2c_clock=200), "i2c_clock must be 100 or 400"),
    (dict(link="ethernet"), "needs host"),
    (dict(link="ethernet", host="127.0.0"), "dotted IPv4"),
    (dict(link="ethernet", host="127.0.0.1", port=65536), "port must be from 0 to 65535"),
    (dict(link="ethernet", host="127.0.0.1", port=0), "Invalid Socket"),
    (dict(device="1", simulate=True), "simulate uses none"),
])
def test_open_refuses_bad_arguments(arguments, words):
    with pytest.raises(ValueError, match=words):
        tonvisor.open(**arguments)


@pytest.mark.parametrize("names", [False, True])
def test_preset_log_is_saved_as_the_command_line_tool_saves_it(chip, tmp_path, names):
    chip.op("LoadPeqPreset", "Rock")
    chip.op("ConfigureDacVolume", -0.5017)
    ours, theirs = tmp_path / "python.txt", tmp_path / "cli.txt"
    chip.log.save(ours, names=names)
    cli = run_cli("--simulate", "--save-log", str(theirs), *(["--names"] if names else []),
                  "-c", "op LoadPeqPreset Rock", "op", "ConfigureDacVolume", "-0.5017")
    assert cli.returncode == 0, cli.stderr
    assert ours.read_bytes() == theirs.read_bytes()
    assert len(chip.log) > 60


def test_script_runs_and_replays_from_its_saved_log(chip, tmp_path):
    writes = chip.run_script(INIT_SCRIPT)
    assert writes == sum(entry.kind == "write" for entry in chip.log) > 10
    saved = tmp_path / "saved.txt"
    chip.log.save(str(saved))
    first = list(chip.log)
    chip.log.clear()
    chip.run_script(saved)
    # Replaying a saved log writes the same and keeps its comments.
    assert [e for e in chip.log if e.kind == "write"] == [e for e in first if e.kind == "write"]

    for unreachable in (lambda: chip.run_script(tmp_path / "missing.txt"),
                        lambda: chip.log.save(tmp_path / "no folder" / "log.txt"),
                        lambda: chip.snapshot(tmp_path / "no folder" / "snapshot.txt")):
        with pytest.raises(FileNotFoundError):
            unreachable()
    broken = tmp_path / "broken.txt"
    broken.write_text("Write 0x0022\nWrite 0x0022 0x0101\n")
    with pytest.warns(tonvisor.TonvisorWarning, match="Line 1 of the script was not run"):
        assert chip.run_script(broken) == 1


def test_snapshot_diff_and_load(chip, tmp_path):
    path = tmp_path / "before.txt"
    before = chip.snapshot(path)
    assert len(before) == 53 and before["CHIP_ID_REG"] == chip.read(0)
    assert tonvisor.load_snapshot(path).registers == before.registers
    assert chip.diff(before) == [] and chip.diff(path) == []

    chip.modify("CHIP_ANA_HP_CTRL_REG", 0xFF80, 0x0011)
    differences = chip.diff(before)
    assert [(d.register, d.after) for d in differences] == [("CHIP_ANA_HP_CTRL_REG", chip.read(0x22))]
    assert [(f.high_bit, f.low_bit, f.after) for f in differences[0].fields] == [(6, 0, 0x11)]

    with pytest.raises(FileNotFoundError):
        tonvisor.load_snapshot(tmp_path / "missing.txt")
    unknown = tmp_path / "unknown.txt"
    unknown.write_text("Write   \tCHIP_NO_SUCH_REG\t0x0001\n")
    with pytest.raises(ValueError):
        tonvisor.load_snapshot(unknown)


def test_fields_decode_values_and_name_them(chip):
    chip.op("ConfigureSampleRate", 1)
    rate = [f for f in chip.fields() if f.name == "ConfigureSampleRate"]
    assert [(f.register, f.value, f.meaning) for f in rate] == [("CHIP_CLK_CTRL_REG", 1, "44.1 kHz")]


def test_a_chip_that_does_not_answer_raises_access_error():
    chip = tonvisor.open(simulate=True, i2c_address=0x1B)
    with pytest.raises(tonvisor.AccessError) as raised:
        chip.read("CHIP_ID_REG")
    error = raised.value
    assert isinstance(error, OSError)
    assert (error.register, error.register_name, error.link) == (0, "CHIP_ID_REG", "i2c")
    cli = run_cli("--simulate", "--i2c-address", "1B", "read", "CHIP_ID_REG")
    assert f'"read CHIP_ID_REG": {error}' in cli.stderr
    with pytest.raises(tonvisor.AccessError):
        chip.run_script(INIT_SCRIPT)


def test_spi_writes_but_cannot_read():
    with tonvisor.open("spi", simulate=True) as chip:
        chip.write("CHIP_ANA_HP_CTRL_REG", 0x0101)
        assert list(chip.log) == [("write", 0x22, 0x0101, "Write")]
        for call in (lambda: chip.read(0x22), lambda: chip.modify(0x22, 0xFF00, 1)):
            with pytest.raises(tonvisor.AccessError, match="SPI cannot read.* register 0x0022") as raised:
                call()
            assert (raised.value.register, raised.value.link) == (0x22, "spi")
        with pytest.raises(tonvisor.AccessError, match="53 of 53 register accesses"):
            chip.snapshot()


def test_context_manager_closes_the_link_on_an_exception():
    with pytest.raises(KeyError):
        with tonvisor.open(simulate=True) as chip:
            chip.write(0x22, 0x0101)
            raise KeyError("rig failure")
    assert chip.closed
    with pytest.raises(ValueError, match="closed"):
        chip.read(0x22)
    # What was done stays readable after the close.
    assert len(chip.log) == 1


def test_another_thread_is_refused(chip):
    refused = []

    def use():
        try:
            chip.read(0)
        except RuntimeError as error:
            refused.append(str(error))

    worker = threading.Thread(target=use)
    worker.start()
    worker.join()
    assert refused and "thread that opened it" in refused[0]
    assert chip.read(0) >> 8 == 0xA0


def test_a_full_log_warns_once_and_keeps_what_it_holds(chip):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        for value in range(2001):
            chip.write(0x22, value & 0xFFFF)
    assert len(chip.log) == 2000 and chip.log[-1] == ("write", 0x22, 1999, "Write")
    assert [w.category for w in caught] == [tonvisor.TonvisorWarning]
    assert str(caught[0].message).startswith("Tonvisor: The write log is full (2000 entries)")


def test_without_a_bridge_open_raises_access_error():
    try:
        plugged = tonvisor.devices()
    except OSError:  # no USB bus here at all
        plugged = []
    if plugged:
        pytest.skip("a USB bridge is plugged in")
    with pytest.raises(tonvisor.AccessError, match="^I2C Initialization Error: ") as raised:
        tonvisor.open("i2c")
    assert (raised.value.register, raised.value.link) == (None, "i2c")
    assert "simulate=True talks to a simulated chip" in str(raised.value)
