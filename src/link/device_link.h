#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/access.h"
#include "link/ethernet_transport.h"
#include "link/i2c_transport.h"
#include "link/link_settings.h"
#include "link/messenger.h"
#include "link/register_cache.h"
#include "link/spi_transport.h"
#include "link/status.h"
#include "link/usb_bridge.h"
#include "link/write_log.h"

namespace tonvisor {

class AccessWatch;

// Passes messages on to the program's messenger. While a user action runs it shows each
// distinct message once: 300 failed writes to a board that went away tell the user once that
// the board cannot be reached, and the action's closing message counts the rest.
class ActionMessenger final : public Messenger {
 public:
  explicit ActionMessenger(Messenger& target) : m_target(target) {}
  void show(const Message& message) override;
  using Messenger::show;

  void beginAction() { ++m_depth; }
  void endAction();
  // While into is set, messages are kept there instead of going to the program's messenger:
  // a window that runs the link's work on a thread of its own shows them once the work ends.
  void captureInto(std::vector<Message>* into) { m_capture = into; }
  // Messages passed on (or kept) so far: whether anyone was told something during an action.
  std::uint64_t shownCount() const { return m_shownCount; }

 private:
  Messenger& m_target;
  std::vector<Message>* m_capture = nullptr;
  int m_depth = 0;
  std::uint64_t m_shownCount = 0;
  std::set<std::pair<std::string, std::string>> m_shown;  // caption, text
};

// Everything between the program and the chip: the settings, the write log, the three
// transports and the dispatchers that pick one by the connection type. The program makes
// one; a test makes one around its own bridge and messenger.
//
// Every access is decided here: which transport carries it, how a read-modify-write merges
// (the same for every link), and which writes the log keeps (I2C logs every attempt while
// logRegisterWrites is 1; SPI and Ethernet log the writes that went through).
class DeviceLink {
 public:
  DeviceLink(UsbBridge& bridge, Messenger& messenger, EthernetOptions ethernetOptions = {});
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // Register access on the selected link, with the whole truth about it.
  AccessResult Read(std::uint16_t address);
  AccessResult Write(std::uint16_t address, std::uint16_t value);
  AccessResult Modify(std::uint16_t address, std::uint16_t keepMask, std::uint16_t value);
  // A write over SPI whatever link is selected (Direct Register RW's WriteSPI).
  AccessResult WriteOverSpi(std::uint16_t address, std::uint16_t value);

  // The same accesses giving only the status the dispatchers have always returned: over SPI
  // reads and modifies are refused with a message and 0; over Ethernet failures are shown by
  // the transport and 0 is returned. ReadRegister stores the value only when one arrived.
  Status ReadRegister(std::uint16_t address, std::uint16_t* value);
  Status WriteRegister(std::uint16_t address, std::uint16_t value) { return Write(address, value).status; }
  Status ModifyRegister(std::uint16_t address, std::uint16_t keepMask, std::uint16_t value) {
    return Modify(address, keepMask, value).status;
  }

  // The link the connection type selects (compared without regard to case).
  LinkKind selectedLink() const;

  // The last known value of each register the device described (every access keeps it
  // current). Emptied by Connect and whenever the link's settings name another chip: another
  // link, I2C device address or board.
  RegisterCache& cache() { return m_cache; }
  // Where the registers found changed outside this program are told: by default a message to
  // the main window; a window with a status line takes the text there instead.
  void setOutsideChangeTeller(std::function<void(const std::string& text)> tell) { m_tellOutside = std::move(tell); }
  const RegisterCache& cache() const { return m_cache; }
  // Empties the cache when the link's settings changed since the last access.
  void followLinkSettings();

  LinkSettings& settings() { return m_settings; }
  const LinkSettings& settings() const { return m_settings; }
  WriteLog& writeLog() { return m_log; }
  ActionMessenger& messenger() { return m_messenger; }
  I2cTransport& i2c() { return m_i2c; }
  SpiTransport& spi() { return m_spi; }
  BusBPins& busB() { return m_busB; }
  EthernetTransport& ethernet() { return m_ethernet; }
  // The USB bridge the I2C and SPI transports go through (what it is connected to).
  const UsbBridge& usbBridge() const { return m_bridge; }

  // The link is used by one thread at a time and has no locks: the thread that makes it, or
  // the one that adopts it (a window's link thread). Debug builds check every access.
  void adoptCurrentThread() { m_owner = std::this_thread::get_id(); }
  bool onOwningThread() const { return m_owner == std::this_thread::get_id(); }

 private:
  friend class AccessWatch;
  friend class ScopedTally;
  friend class UserAction;

  AccessResult readOver(LinkKind link, std::uint16_t address, AccessKind kind);
  AccessResult writeOver(LinkKind link, std::uint16_t address, std::uint16_t value, AccessKind kind);
  AccessResult notSupportedOverSpi(std::uint16_t address, AccessKind kind, const char* text);
  void boardExchange(AccessResult& access, const BoardExchange& exchange);
  static void bridgeFailed(AccessResult& access, const BridgeResult& result, I2cByte unacknowledged);
  AccessResult finish(const AccessResult& access);
  void noteRead(const AccessResult& access);
  void noteWrite(const AccessResult& access, std::uint16_t value);
  // Tells the user of the registers found changed outside this program: at once outside a
  // user action, else once when the outermost action ends.
  void reportOutsideChanges();

  UsbBridge& m_bridge;
  ActionMessenger m_messenger;
  LinkSettings m_settings;
  WriteLog m_log;
  I2cTransport m_i2c;
  BusBPins m_busB;
  SpiTransport m_spi;
  EthernetTransport m_ethernet;

  std::vector<AccessTally*> m_tallies;  // every open ScopedTally counts every access
  std::vector<AccessWatch*> m_watches;  // and every open AccessWatch hears of it
  std::thread::id m_owner = std::this_thread::get_id();
  int m_actionDepth = 0;
  bool m_boardGone = false;  // in this action the board already waited out a time-out

  // Which chip the cache holds: the link and its address when it was last used.
  struct LinkIdentity {
    LinkKind link = LinkKind::None;
    std::uint16_t i2cAddress = 0;
    std::string ethernetAddress;
    std::uint32_t ethernetPort = 0;
    bool operator==(const LinkIdentity&) const = default;
  };
  LinkIdentity identity() const;
  RegisterCache m_cache;
  LinkIdentity m_cachedLink;
  std::vector<OutsideChange> m_outsideChanges;  // found and not yet told
  std::function<void(const std::string&)> m_tellOutside;
};

// Case-insensitive comparison of ASCII texts, as the connection type and list items are
// compared; only A to Z fold, whatever the locale.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tonvisor
