#include "link/access.h"

#include <cstdio>

#include "link/ascii_case.h"
#include "link/typed_text.h"
#include "link/usb_bridge.h"

namespace tonvisor {

namespace {

std::string deviceText(std::uint16_t device) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", static_cast<unsigned>(device & 0x7Fu));
  return buffer;
}

std::string registerText(const AccessResult& access) { return "register " + FormatPrefixedHex4(access.address); }

std::string boardText(const LinkSettings& settings) {
  return "the board at " + (settings.ethernetAddress.empty() ? std::string("(no address)") : settings.ethernetAddress) +
         ":" + std::to_string(settings.ethernetPort);
}

const char* verb(AccessKind kind) {
  switch (kind) {
    case AccessKind::Read:
      return "read";
    case AccessKind::Write:
      return "write";
    case AccessKind::Modify:
      return "read-modify-write";
  }
  return "access";
}

std::string withDetail(const std::string& text, const std::string& detail) {
  return detail.empty() ? text : text + " (" + detail + ")";
}

const char* byteText(I2cByte byte) {
  switch (byte) {
    case I2cByte::None:
    case I2cByte::DeviceAddress:
      return "the device-address byte";
    case I2cByte::RegisterHigh:
      return "the register address's high byte";
    case I2cByte::RegisterLow:
      return "the register address's low byte";
    case I2cByte::ValueHigh:
      return "the value's high byte";
    case I2cByte::ValueLow:
      return "the value's low byte";
    case I2cByte::ReadAddress:
      return "the device-address byte of the read";
  }
  return "a byte";
}

std::string bridgeFailure(const AccessResult& access) {
  const char* link = access.link == LinkKind::Spi ? "SPI" : "I2C";
  const std::string what = std::string(verb(access.kind)) + " of " + registerText(access);
  if (access.link == LinkKind::I2c && access.bridgeCode == bridge::kNoAcknowledge) {
    const std::string device = deviceText(access.i2cDevice);
    // Nothing answered its own address: there is no chip there (or it is not powered).
    if (access.unacknowledged == I2cByte::DeviceAddress || access.unacknowledged == I2cByte::None) {
      return "no chip answering at I2C address " + device + " for the " + what;
    }
    return "I2C " + what + " failed: the chip at I2C address " + device + " did not acknowledge " +
           byteText(access.unacknowledged);
  }
  return withDetail(std::string(link) + " " + what + " failed: " + BridgeErrorText(access.bridgeCode),
                    access.bridgeDetail);
}

std::string boardFailure(const AccessResult& access, const LinkSettings& settings) {
  const std::string board = boardText(settings);
  const std::string what = std::string(verb(access.kind)) + " of " + registerText(access);
  const std::string waited = access.timedOut ? " (no answer within the time-out)" : "";
  switch (access.boardStep) {
    case BoardStep::CreateSocket:
      return "no network socket could be created for the " + what;
    case BoardStep::Connect:
      return "could not connect to " + board + waited + " for the " + what;
    case BoardStep::SendHeader:
      return board + " did not take the request header of the " + what + waited;
    case BoardStep::ReturnCode:
      return board + " sent no return code during the " + what + waited;
    case BoardStep::Refused:
      return board + " refused the " + what;
    case BoardStep::SendRegister:
      return board + " did not take the register address of the " + what + waited;
    case BoardStep::SendValue:
      return board + " did not take the value of the " + what + waited;
    case BoardStep::ReceiveValue:
      return board + " sent no value for the " + what + waited;
  }
  return board + ": the " + what + " failed";
}

}  // namespace

std::string DescribeFailure(const AccessResult& access, const LinkSettings& settings) {
  switch (access.fault) {
    case AccessFault::None:
      return {};
    case AccessFault::NoLink:
      return "no link is chosen (connection type \"" + settings.connectionType + "\"), so the " + verb(access.kind) +
             " of " + registerText(access) + " went nowhere";
    case AccessFault::NotSupported:
      return std::string("SPI cannot ") + verb(access.kind) + " " + registerText(access) + " (it can only write)";
    case AccessFault::NoValuePlace:
      return "the " + std::string(verb(access.kind)) + " of " + registerText(access) + " had nowhere to put the value";
    case AccessFault::InvalidArgument:
      return "the " + std::string(verb(access.kind)) + " of " + registerText(access) + " named no valid value";
    case AccessFault::BridgeFailed:
      return bridgeFailure(access);
    case AccessFault::BoardFailed:
      return boardFailure(access, settings);
    case AccessFault::BoardUnreachable:
      return "the " + std::string(verb(access.kind)) + " of " + registerText(access) + " was not sent: " +
             boardText(settings) + " had stopped answering";
  }
  return "the access of " + registerText(access) + " failed";
}

std::string DescribeOpenFailure(LinkKind link, const BridgeResult& result) {
  if (result.ok()) return {};
  const char* channel = link == LinkKind::Spi ? "SPI" : "I2C";
  return withDetail(std::string("The ") + channel + " channel could not be opened: " + BridgeErrorText(result.code),
                    result.detail) +
         ".";
}

void AccessTally::add(const AccessResult& access) {
  ++accesses;
  if (status == status::kOk) status = access.status;
  if (access.ok()) return;
  ++failed;
  if (!firstFailure) firstFailure = access;
}

std::string DescribeTally(const AccessTally& tally, const LinkSettings& settings) {
  if (tally.allWentThrough() || !tally.firstFailure) return {};
  std::string first = DescribeFailure(*tally.firstFailure, settings);
  if (tally.accesses == 1) {
    if (!first.empty()) first[0] = AsciiUpper(first[0]);
    return first + ".";
  }
  return std::to_string(tally.failed) + " of " + std::to_string(tally.accesses) +
         " register accesses did not reach the chip. The first: " + first + ".";
}

}  // namespace tonvisor
