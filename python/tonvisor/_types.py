"""Records and exceptions of the tonvisor module, made by the extension through this module."""

from typing import NamedTuple, Optional


class AccessError(OSError):
    """A register access, or opening the link, did not reach the chip.

    str(error) gives the words the command-line tool prints. `register` is the address of the
    first register that was not reached (None when the link itself could not be opened),
    `register_name` its name in the register map (None when it has none), `link` the link
    ("i2c", "spi" or "ethernet") and `messages` what the link told along the way, each once.
    """

    def __init__(self, message: str, register: Optional[int] = None, link: Optional[str] = None,
                 register_name: Optional[str] = None, messages: tuple = ()) -> None:
        super().__init__(message)
        self.register = register
        self.register_name = register_name
        self.link = link
        self.messages = list(messages)


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
    fields: list


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
