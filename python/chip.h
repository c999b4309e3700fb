#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <pybind11/pybind11.h>

#include "backends/chip_connection.h"
#include "backends/usb_backends.h"
#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "tools/snapshot.h"

namespace tonvisor::python {

namespace py = pybind11;

// What open() was given, checked by Chip before anything is opened.
struct OpenArguments {
  std::string link = "i2c";
  py::object i2cAddress;
  py::object i2cClock;
  std::optional<std::string> device;
  std::optional<std::string> host;
  py::object port;
  bool simulate = false;
};

// Keeps what the link tells while a call runs, for the call's exception or warnings.
class CollectingMessenger final : public Messenger {
 public:
  void show(const Message& message) override { m_messages.push_back(message); }
  using Messenger::show;
  std::vector<Message> take() { return std::exchange(m_messages, {}); }

 private:
  std::vector<Message> m_messages;
};

// A chip registers as it was read, or loaded from a snapshot file.
struct Snapshot {
  ChipSnapshot registers;
};

// One connection to the chip: the USB backend, the link with its write log, and the codec's
// operations on it. Every call is one user action; it runs with the GIL released and only on
// the thread that opened the chip.
class Chip {
 public:
  explicit Chip(const OpenArguments& arguments);
  ~Chip();
  Chip(const Chip&) = delete;
  Chip& operator=(const Chip&) = delete;

  std::uint16_t read(py::handle reg);
  void write(py::handle reg, py::handle value);
  void modify(py::handle reg, py::handle keepMask, py::handle value);
  void op(const std::string& name, const py::args& arguments);
  std::size_t runScript(py::handle path);
  Snapshot snapshot(py::handle path);
  py::list diff(py::handle snapshotOrPath);
  py::list fields();
  void close();
  bool closed() const { return m_closed; }
  const char* linkName() const;
  // Refuses a call from another thread than the opener's, or on a closed chip.
  void enterOpen() const;

  // The write log (usable after close, to save what was done).
  std::size_t logSize();
  py::object logEntry(py::ssize_t index);
  py::list logEntries();
  void saveLog(py::handle path, bool names);
  void clearLog();

 private:
  // Refuses a call from a thread other than the opener's.
  void enter() const;
  // Runs work as one user action with the GIL released; raises AccessError when an access did
  // not reach the chip and warns of anything else the link told.
  template <class Work>
  auto act(Work&& work);
  // Raises AccessError when the tally counts a failure (words say what failed), else warns of
  // what the link told.
  void conclude(const AccessTally& tally, const std::string& words);
  void conclude(const AccessTally& tally, const std::string& words, const std::vector<Message>& messages);
  ReadAllResult readAll();

  std::thread::id m_owner;
  CollectingMessenger m_messenger;
  UsbBackend m_backend;
  std::unique_ptr<DeviceLink> m_link;
  std::unique_ptr<CodecOperations> m_codec;
  ChipConnection m_connection;
  bool m_closed = false;
};

// The registers of a snapshot file; OSError when it cannot be read, ValueError when it names a
// register the map does not know.
Snapshot LoadSnapshot(py::handle path);
// A register name of the map or an address from 0 to 0xFFFF; ValueError or TypeError otherwise.
std::uint16_t RegisterArgument(py::handle reg);
// A path as str, bytes or os.PathLike, as text.
std::string PathArgument(py::handle path);
// The USB bridges plugged in; OSError when the bus cannot be read.
py::list ListDevices();

}  // namespace tonvisor::python
