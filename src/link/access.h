#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/link_settings.h"
#include "link/status.h"
#include "link/usb_bridge.h"

namespace tonvisor {

// The link an access went over, as the connection type selects it.
enum class LinkKind { None, I2c, Spi, Ethernet };

enum class AccessKind { Read, Write, Modify };

// Why an access did not reach the chip.
enum class AccessFault {
  None,
  NoLink,            // the connection type names no link: nothing was sent
  NotSupported,      // SPI cannot read, so it can neither read nor read-modify-write
  NoValuePlace,      // an I2C read given nowhere to put the value
  InvalidArgument,   // a pin or level that does not exist
  BridgeFailed,      // the USB bridge's transfer failed; bridgeCode says how
  BoardFailed,       // an exchange with the Ethernet board failed at boardStep
  BoardUnreachable,  // not tried: the board stopped answering earlier in the same action
};

// The byte of an I2C register transfer that the chip did not acknowledge.
enum class I2cByte { None, DeviceAddress, RegisterHigh, RegisterLow, ValueHigh, ValueLow, ReadAddress };

// The step of an Ethernet exchange that failed.
enum class BoardStep { CreateSocket, Connect, SendHeader, ReturnCode, Refused, SendRegister, SendValue, ReceiveValue };

// The whole truth about one register access: the link, whether it went through and, if not,
// why. Whether it reached the chip is ok() (and fault): decide on that. `status` is not a
// success flag: it is what the dispatchers have always returned for the access, 0 over
// Ethernet and for SPI's refusals (whose failures the link reports by message instead), and
// it is the value the pages' own messages (" Write DAC OUT Failed" and the like) follow.
struct AccessResult {
  AccessKind kind = AccessKind::Write;
  LinkKind link = LinkKind::None;
  std::uint16_t address = 0;
  AccessFault fault = AccessFault::None;
  Status status = status::kOk;
  std::int32_t bridgeCode = 0;     // BridgeFailed: the bridge's result (bridge::k...)
  std::string bridgeDetail;        // BridgeFailed: the bridge library's own words, if any
  I2cByte unacknowledged = I2cByte::None;  // bridge::kNoAcknowledge: the byte the chip left unanswered
  std::uint16_t i2cDevice = 0;     // I2C: the 7-bit device address used
  BoardStep boardStep = BoardStep::Connect;
  bool timedOut = false;           // BoardFailed: the step waited out its time-out
  std::optional<std::uint16_t> value;  // a read or modify: the value read, when one arrived

  bool ok() const { return fault == AccessFault::None; }
};

// An access about to be made, that has not failed yet.
inline AccessResult NewAccess(AccessKind kind, LinkKind link, std::uint16_t address) {
  AccessResult access;
  access.kind = kind;
  access.link = link;
  access.address = address;
  return access;
}

// A failed access in words for people, e.g. "no acknowledge from I2C address 0x1B at register
// 0x0024". The settings give the board's address and port. Empty for an access that went through.
std::string DescribeFailure(const AccessResult& access, const LinkSettings& settings);

// Why the I2C or SPI channel could not be opened, in words for people, e.g. "The I2C channel
// could not be opened: no USB bridge is plugged in."; empty when the open went through.
std::string DescribeOpenFailure(LinkKind link, const BridgeResult& result);

// What a sequence of accesses came to: how many there were, how many failed, the first failure,
// and the first non-zero status in the dispatchers' sense.
struct AccessTally {
  std::size_t accesses = 0;
  std::size_t failed = 0;
  std::optional<AccessResult> firstFailure;
  Status status = status::kOk;

  void add(const AccessResult& access);
  bool allWentThrough() const { return failed == 0; }
};

// "3 of 120 register accesses did not reach the chip. The first: <its failure>." for a tally
// with failures (a single access: just its failure, with a capital); empty when all went
// through.
std::string DescribeTally(const AccessTally& tally, const LinkSettings& settings);

}  // namespace tonvisor
