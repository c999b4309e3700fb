"""KRVL7300 codec control from Python: the link, the codec operations, scripts, snapshots and
the write log in one process.

    import tonvisor
    with tonvisor.open("i2c", simulate=True) as chip:
        chip.run_script("krvl7300_init_script.txt")
        chip.op("ConfigureDacVolume", -6.0)
        print(hex(chip.read("CHIP_ID_REG")))
        chip.log.save("bringup.txt")

Failures raise AccessError (an OSError); bad arguments raise ValueError before any access.
A Chip belongs to the thread that opened it; other threads keep running while it waits on
the link.
"""

from ._types import (AccessError, Device, Difference, Field, FieldDifference, LogEntry, Register,
                     TonvisorWarning)
from ._tonvisor import Chip, Log, Snapshot, devices, load_snapshot, open, operations

__all__ = ["AccessError", "Chip", "Device", "Difference", "Field", "FieldDifference", "Log", "LogEntry",
           "Register", "Snapshot", "TonvisorWarning", "devices", "load_snapshot", "open", "operations"]
