#pragma once

#include <chrono>
#include <cstdint>

// The shortest times the I2C bus allows, per mode: standard mode up to 100 kHz, fast mode up
// to 400 kHz. The bridge sizes its clock and its holds from them; the emulated FT2232H
// measures the bus against them.

namespace tonvisor::ftdi {

struct I2cBusTimes {
  std::uint32_t maxClockHz;
  std::chrono::nanoseconds high;        // tHIGH: SCL high
  std::chrono::nanoseconds low;         // tLOW: SCL low
  std::chrono::nanoseconds startHold;   // tHD;STA: SDA low before SCL falls
  std::chrono::nanoseconds startSetup;  // tSU;STA: SCL high before a repeated START
  std::chrono::nanoseconds stopSetup;   // tSU;STO: SCL high before the STOP
  std::chrono::nanoseconds busFree;     // tBUF: from a STOP to the next START
  std::chrono::nanoseconds dataSetup;   // tSU;DAT: SDA settled before SCL rises
  std::chrono::nanoseconds riseMax;     // tr: the slowest rise a pull-up may give a line
};

inline constexpr I2cBusTimes kI2cStandardMode{100000,
                                              std::chrono::nanoseconds(4000),
                                              std::chrono::nanoseconds(4700),
                                              std::chrono::nanoseconds(4000),
                                              std::chrono::nanoseconds(4700),
                                              std::chrono::nanoseconds(4000),
                                              std::chrono::nanoseconds(4700),
                                              std::chrono::nanoseconds(250),
                                              std::chrono::nanoseconds(1000)};
inline constexpr I2cBusTimes kI2cFastMode{400000,
                                          std::chrono::nanoseconds(600),
                                          std::chrono::nanoseconds(1300),
                                          std::chrono::nanoseconds(600),
                                          std::chrono::nanoseconds(600),
                                          std::chrono::nanoseconds(600),
                                          std::chrono::nanoseconds(1300),
                                          std::chrono::nanoseconds(100),
                                          std::chrono::nanoseconds(300)};

// The mode whose times a clock rate must keep.
inline const I2cBusTimes& I2cModeFor(double clockHz) {
  return clockHz <= kI2cStandardMode.maxClockHz + 1.0 ? kI2cStandardMode : kI2cFastMode;
}

}  // namespace tonvisor::ftdi
