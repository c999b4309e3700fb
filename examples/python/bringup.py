#!/usr/bin/env python3
"""Bring a KRVL7300 board up: connect, run the init script, program the clocks for 48 kHz from
a 256xFs master clock with the chip as I2S clock master, check the part ID and save the log.

    python3 bringup.py --simulate
    python3 bringup.py --host 192.168.1.50          # a board on the network
    python3 bringup.py --i2c-address 0x0A           # the USB bridge
"""

import argparse
import sys
from pathlib import Path

import tonvisor

INIT_SCRIPT = Path(__file__).resolve().parent.parent / "krvl7300_init_script.txt"
PART_ID = 0xA0  # the upper byte of CHIP_ID_REG; the lower byte is the revision


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--simulate", action="store_true", help="a simulated chip instead of the USB bridge")
    parser.add_argument("--host", help="the board's IPv4 address (Ethernet link)")
    parser.add_argument("--port", type=int, default=30)
    parser.add_argument("--i2c-address", type=lambda text: int(text, 16), default=0x0A)
    parser.add_argument("--init-script", type=Path, default=INIT_SCRIPT)
    parser.add_argument("--save-log", type=Path, default=Path("bringup-log.txt"))
    arguments = parser.parse_args()

    link = "ethernet" if arguments.host else "i2c"
    try:
        chip = tonvisor.open(link, host=arguments.host, port=arguments.port, i2c_address=arguments.i2c_address,
                             simulate=arguments.simulate)
    except (tonvisor.AccessError, ValueError) as error:
        print(f"cannot connect: {error}", file=sys.stderr)
        return 1
    with chip:
        try:
            writes = chip.run_script(arguments.init_script)
            print(f"init script: {writes} writes")

            chip.op("WriteDacMute", 1)
            chip.op("ConfigureSysMclk", 0)         # 256xFs
            chip.op("ConfigureSampleRate", 2)      # 48 kHz
            chip.op("ConfigureI2sMasterSlave", 1)  # the chip drives the I2S clocks
            chip.op("WriteDacMute", 0)

            chip_id = chip.read("CHIP_ID_REG")
            print(f"CHIP_ID_REG = 0x{chip_id:04X}")
            if chip_id >> 8 != PART_ID:
                print(f"not a KRVL7300: part ID 0x{chip_id >> 8:02X}, expected 0x{PART_ID:02X}", file=sys.stderr)
                return 1
        except tonvisor.AccessError as error:
            print(f"bring-up failed on {error.link}: {error}", file=sys.stderr)
            return 1
        finally:
            # Saved also after a failure: the log shows how far the bring-up got.
            chip.log.save(arguments.save_log)
            print(f"log saved to {arguments.save_log} ({len(chip.log)} entries)")
    return 0

if __name__ == "__main__":
    sys.exit(main())
