"""KRVL7300 codec control from Python: the link, the codec operations, scripts, snapshots and
the write log in one process."""

import os
from typing import Iterator, NamedTuple, Optional, Union

_Path = Union[str, bytes, "os.PathLike[str]"]
_Reg = Union[str, int]


class AccessError(OSError):
    """A register access, or opening the link, did not reach the chip.

    str(error) gives the words the command-line tool prints. `register` is the address of the
    first register that was not reached (None when the link itself could not be opened),
    `register_name` its name in the register map (None when it has none), `link` the link
    ("i2c", "spi" or "ethernet") and `messages` what the link told along the way, each once.
    """
    register: Optional[int]
    register_name: Optional[str]
    link: Optional[str]
    messages: list[str]


class TonvisorWarning(UserWarning):
    """Something the link told while the call still did its work: a full write log, script
    lines that were skipped. Turn it into an error with warnings.simplefilter("error",
    tonvisor.TonvisorWarning) (pytest: -W error::tonvisor.TonvisorWarning)."""


class LogEntry(NamedTuple):
    """One entry of the write log: a register write ("write", address, value, "Write") or a
    comment line ("comment", None, None, its text with its line end)."""
    kind: str
    address: Optional[int]
    value: Optional[int]
    text: str


class Register(NamedTuple):
    """One named register of a snapshot: value None when it is unknown (it was not read)."""
    name: str
    address: int
    value: Optional[int]


class FieldDifference(NamedTuple):
    """A field whose value differs, shifted down to bit 0 (None: unknown on that side)."""
    name: str
    high_bit: int
    low_bit: int
    before: Optional[int]
    after: Optional[int]


class Difference(NamedTuple):
    """A register whose value differs between two snapshots, with the fields that differ."""
    register: str
    address: int
    before: Optional[int]
    after: Optional[int]
    fields: list[FieldDifference]


class Field(NamedTuple):
    """One field of a register as the chip holds it now: its value shifted down to bit 0 and,
    when the value has a name (a list item on the pages), that name; otherwise None."""
    register: str
    address: int
    name: str
    high_bit: int
    low_bit: int
    value: int
    meaning: Optional[str]


class Device(NamedTuple):
    """A USB bridge as devices() lists it: problem says why its strings could not be read."""
    index: int
    serial: str
    description: str
    problem: str


class Snapshot:
    """The chip's named registers at one moment, from Chip.snapshot() or tonvisor.load_snapshot().

    snapshot["CHIP_ID_REG"] (or snapshot[0x0000]) is a register's value, None when it is unknown;
    registers lists them all as Register tuples in the register map's order."""

    @property
    def registers(self) -> list[Register]:
        """Every named register as a Register tuple (name, address, value or None)."""
    def __getitem__(self, reg: _Reg) -> Optional[int]: ...
    def __len__(self) -> int: ...


class Log:
    """The write log: every register write the link logged and every comment line, in order.

    Entries are LogEntry tuples: ("write", address, value, "Write") or ("comment", None, None, text).
    len(), indexing and iteration read it; save() writes it as a script; clear() empties it. It
    holds at most 2000 entries; further ones are refused with a TonvisorWarning. Opening a Chip
    starts an empty log."""

    def __len__(self) -> int: ...
    def __getitem__(self, index: int) -> LogEntry: ...
    def __iter__(self) -> Iterator[LogEntry]: ...

    def save(self, path: _Path, names: bool = False) -> None:
        """Save the log as a script, byte for byte what the panel's Save Script writes.

        With names=True register writes name the register instead of giving its address."""

    def clear(self) -> None:
        """Empty the log."""


class Chip:
    """A connection to one KRVL7300 codec, made by tonvisor.open().

    Registers are named as in the register map ("CHIP_ANA_CTRL_REG") or given by address (0x0024);
    values are ints from 0 to 0xFFFF. Every call is one action: when a register access does not
    reach the chip it raises AccessError, and a method never returns a value that did not arrive.
    Bad arguments raise ValueError (or TypeError) before anything is sent.

    While a call waits on the link the GIL is released, so other Python threads run. A Chip belongs
    to the thread that opened it: a call from another thread raises RuntimeError (open one Chip per
    thread). As a context manager it closes the link on leaving, also on an exception."""

    def read(self, reg: _Reg) -> int:
        """Read one register and return its 16-bit value.

        reg is a register name or an address. Raises AccessError when no value arrived (over SPI the
        chip cannot be read at all)."""

    def write(self, reg: _Reg, value: int) -> None:
        """Write a 16-bit value to one register (logged in Chip.log as the link logs it)."""

    def modify(self, reg: _Reg, keep_mask: int, value: int) -> None:
        """Read-modify-write one register.

        The bits set in keep_mask keep their old value; the others take value's bits:
        new = (old & keep_mask) | (value & ~keep_mask). Raises AccessError when the read or the write
        did not reach the chip; a failed read writes nothing. Not possible over SPI."""

    def op(self, name: str, *args: Union[int, float, str]) -> None:
        """Run a codec operation or preset by name, as tonvisor-cli's op command does.

        op("ConfigureDacVolume", -6.0), op("WriteGeqVolume", 2, 47), op("LoadPeqPreset", "Rock").
        Arguments are ints, floats or str; tonvisor.operations() lists the names and their arguments.
        An unknown name, a wrong count or an argument out of its range raises ValueError before any
        access."""

    def run_script(self, path: _Path) -> int:
        """Run a script file (comment lines and write lines) and return the number of writes made.

        Raises OSError when the file cannot be opened or read to its end, AccessError when a write did
        not reach the chip (the message names its line). Write lines that say no register or value are
        skipped with a TonvisorWarning."""

    def snapshot(self, path: Optional[_Path] = None) -> Snapshot:
        """Read every named register and return them as a Snapshot.

        With a path, also save them as a script that, run, puts the chip back as it is now (saved also
        when some reads failed: the file says which registers are unknown). Raises AccessError when a
        register could not be read."""

    def diff(self, snapshot: Union[Snapshot, _Path]) -> list[Difference]:
        """Compare the chip as it is now with a snapshot (a Snapshot or a snapshot file's path).

        Returns the registers that differ as a list of Difference, each with the fields that differ;
        an empty list when they are equal."""

    def fields(self) -> list[Field]:
        """Read every named register and decode its fields as the Register Map does.

        Returns a list of Field: register, address, field name, bits, value and, when the value has a
        name, its name."""

    @property
    def log(self) -> Log:
        """The write log: every register write the link logged and every comment line, in order.

        Entries are LogEntry tuples: ("write", address, value, "Write") or ("comment", None, None, text).
        len(), indexing and iteration read it; save() writes it as a script; clear() empties it. It
        holds at most 2000 entries; further ones are refused with a TonvisorWarning. Opening a Chip
        starts an empty log."""

    @property
    def link(self) -> str:
        """The link: "i2c", "spi" or "ethernet"."""

    @property
    def closed(self) -> bool:
        """Whether close() was called."""

    def close(self) -> None:
        """Close the link and give the USB bridge back. The write log stays readable."""

    def __enter__(self) -> "Chip": ...
    def __exit__(self, *exc: object) -> bool: ...


def open(link: str = "i2c", *, i2c_address: int = 0x0A, i2c_clock: int = 100, device: Optional[str] = None,
         host: Optional[str] = None, port: int = 30, simulate: bool = False) -> Chip:
    """Open the link to the chip and return a Chip (also a context manager).

    link: "i2c", "spi" (write-only: the chip cannot be read over SPI) or "ethernet".
    i2c_address: the codec's 7-bit I2C address (0 to 0x7F); i2c_clock: 100 or 400 (kHz).
    device: the USB bridge's serial or index as devices() lists them (default: the first).
    host, port: the board's dotted IPv4 address and TCP port (ethernet).
    simulate: talk to a simulated chip instead of the USB bridge.

    Raises ValueError for a bad argument and AccessError when the USB channel cannot be opened."""


def load_snapshot(path: _Path) -> Snapshot:
    """Read a snapshot file that Chip.snapshot(path) or tonvisor-cli snapshot saved; OSError when it
    cannot be read, ValueError when it names a register the map does not know."""


def devices() -> list[Device]:
    """List the USB bridges (FT2232H) plugged in as Device tuples; OSError when the USB bus cannot be read."""


def operations() -> list[tuple[str, str]]:
    """Every operation Chip.op() runs, as (name, arguments) tuples, e.g. ("ConfigureDacVolume", "DB")."""
