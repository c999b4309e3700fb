#include "chip.h"

#include <cerrno>
#include <climits>
#include <cstdio>

#include "codec/operation_index.h"
#include "codec/register_map.h"
#include "link/typed_text.h"
#include "link/user_action.h"
#include "records.h"
#include "tools/script_file.h"

namespace tonvisor::python {

namespace {

std::string Hex(long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", value);
  return text;
}

// An int from low to high; TypeError for another type, ValueError outside the range.
long long IntArgument(py::handle value, const char* what, long long low, long long high, bool hex) {
  if (!PyLong_Check(value.ptr())) {
    throw py::type_error(std::string(what) + " must be an int, not " + std::string(py::str(value.get_type().attr("__name__"))));
  }
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow != 0 || number < low || number > high) {
    const auto text = [hex](long long n) { return hex ? Hex(n) : std::to_string(n); };
    throw py::value_error(std::string(what) + " must be from " + text(low) + " to " + text(high) + ", not " +
                          std::string(py::str(value)));
  }
  return number;
}

std::uint16_t Uint16Argument(py::handle value, const char* what) {
  return static_cast<std::uint16_t>(IntArgument(value, what, 0, 0xFFFF, true));
}

// An argument of op() as the operation index reads it: decimal text.
std::string OperationArgument(py::handle argument) {
  if (PyBool_Check(argument.ptr())) return argument.ptr() == Py_True ? "1" : "0";
  if (PyLong_Check(argument.ptr())) return py::str(argument);
  if (PyFloat_Check(argument.ptr())) return py::repr(argument);
  if (py::isinstance<py::str>(argument)) return argument.cast<std::string>();
  throw py::type_error("op() arguments are int, float or str, not " +
                       std::string(py::str(argument.get_type().attr("__name__"))));
}

// Lets Ctrl-C (or any signal handler that raises) stop a long run between two accesses. Asked
// with the GIL released, it takes the GIL only to run Python's signal handlers.
class Interruption {
 public:
  bool keepGoing() {
    py::gil_scoped_acquire held;
    if (PyErr_CheckSignals() == 0) return true;
    m_interrupted = true;
    return false;
  }
  // With the GIL held again: raises what the handler raised (what the link told meanwhile
  // goes with the run).
  void raiseIfInterrupted(CollectingMessenger& messenger) const {
    if (!m_interrupted) return;
    messenger.take();
    throw py::error_already_set();
  }

 private:
  bool m_interrupted = false;
};

std::string Joined(const std::vector<Message>& messages) {
  std::string text;
  for (const Message& message : messages) text += (text.empty() ? "" : ": ") + message.text;
  return text;
}

}  // namespace

std::string PathArgument(py::handle path) { return py::module_::import("os").attr("fsdecode")(path).cast<std::string>(); }

std::uint16_t RegisterArgument(py::handle reg) {
  if (py::isinstance<py::str>(reg)) {
    const std::string name = reg.cast<std::string>();
    if (const auto address = LookupRegisterAddress(name)) return *address;
    throw py::value_error("unknown register name \"" + name + "\" (names are the register map's, such as CHIP_ID_REG)");
  }
  return Uint16Argument(reg, "register address");
}

Chip::Chip(const OpenArguments& arguments) : m_owner(std::this_thread::get_id()) {
  if (EqualsIgnoringCase(arguments.link, "i2c")) {
    m_connection.link = LinkKind::I2c;
  } else if (EqualsIgnoringCase(arguments.link, "spi")) {
    m_connection.link = LinkKind::Spi;
  } else if (EqualsIgnoringCase(arguments.link, "ethernet")) {
    m_connection.link = LinkKind::Ethernet;
  } else {
    throw py::value_error("link must be \"i2c\", \"spi\" or \"ethernet\", not \"" + arguments.link + "\"");
  }
  m_connection.i2cAddress =
      static_cast<std::uint16_t>(IntArgument(arguments.i2cAddress, "i2c_address", 0, kMaxI2cDeviceAddress, true));
  const long long kilohertz = IntArgument(arguments.i2cClock, "i2c_clock", 0, INT_MAX, false);
  if (!IsI2cClockKhz(kilohertz)) {
    throw py::value_error("i2c_clock must be 100 or 400 (kHz), not " + std::to_string(kilohertz));
  }
  m_connection.i2cClockHz = static_cast<std::uint32_t>(kilohertz * 1000);
  m_connection.port = static_cast<std::uint32_t>(IntArgument(arguments.port, "port", 0, 0xFFFF, false));
  if (m_connection.link == LinkKind::Ethernet) {
    if (!arguments.host) throw py::value_error("link=\"ethernet\" needs host, the board's dotted IPv4 address");
    if (!ReadDottedIpv4(*arguments.host)) {
      throw py::value_error("host must be a dotted IPv4 address, not \"" + *arguments.host + "\"");
    }
    m_connection.host = arguments.host;
  }
  if (arguments.device && arguments.device->empty()) {
    throw py::value_error("device needs a bridge's serial or index (tonvisor.devices() lists them)");
  }
  if (arguments.device && arguments.simulate) throw py::value_error("device names a USB bridge; simulate uses none");

  bool connected = false;
  {
    py::gil_scoped_release released;
    m_backend = ChooseUsbBackend({arguments.simulate, arguments.device, nullptr, nullptr});
    m_link = std::make_unique<DeviceLink>(*m_backend.bridge, m_messenger);
    m_codec = std::make_unique<CodecOperations>(*m_link);
    connected = ConnectChip(*m_link, m_connection);
  }
  if (connected) return;
  const std::vector<Message> messages = m_messenger.take();
  // Over Ethernet connecting only checks the board's address and port.
  if (m_connection.link == LinkKind::Ethernet) throw py::value_error(Joined(messages));
  std::string words = Joined(messages);
  const BridgeResult& opened =
      m_connection.link == LinkKind::I2c ? m_link->i2c().openResult() : m_link->spi().openResult();
  if (m_backend.name == "none") {
    words += " (USB cannot be used here: " + m_backend.note + "; simulate=True talks to a simulated chip)";
  } else if (opened.code == bridge::kDeviceNotFound) {
    words += " (without a bridge, simulate=True talks to a simulated chip)";
  }
  RaiseAccessError(words, nullptr, m_connection.link, messages);
}

Chip::~Chip() {
  if (m_link) {
    m_link->i2c().I2cClose();
    m_link->spi().SpiClose();
  }
}

void Chip::enter() const {
  if (std::this_thread::get_id() != m_owner) {
    throw std::runtime_error("this Chip belongs to the thread that opened it; open one Chip per thread");
  }
}

void Chip::enterOpen() const {
  enter();
  if (m_closed) throw py::value_error("the Chip is closed");
}

void Chip::conclude(const AccessTally& tally, const std::string& words) {
  conclude(tally, words, m_messenger.take());
}

void Chip::conclude(const AccessTally& tally, const std::string& words, const std::vector<Message>& messages) {
  if (!tally.allWentThrough()) {
    RaiseAccessError(words, tally.firstFailure ? &*tally.firstFailure : nullptr, m_connection.link, messages);
  }
  Warn(messages);
}

template <class Work>
auto Chip::act(Work&& work) {
  enterOpen();
  AccessTally tally;
  std::string words;
  std::optional<decltype(work())> result;
  {
    py::gil_scoped_release released;
    UserAction action(*m_link);
    result.emplace(work());
    tally = action.tally();
    words = action.failureSummary();
  }
  conclude(tally, words);
  return std::move(*result);
}

const char* Chip::linkName() const { return LinkName(m_connection.link); }

std::uint16_t Chip::read(py::handle reg) {
  const std::uint16_t address = RegisterArgument(reg);
  const std::optional<std::uint16_t> value = act([&] { return m_link->Read(address).value; });
  // The action counted no failure, so the value arrived.
  return value.value();
}

void Chip::write(py::handle reg, py::handle value) {
  const std::uint16_t address = RegisterArgument(reg);
  const std::uint16_t data = Uint16Argument(value, "value");
  act([&] { return m_link->Write(address, data).ok(); });
}

void Chip::modify(py::handle reg, py::handle keepMask, py::handle value) {
  const std::uint16_t address = RegisterArgument(reg);
  const std::uint16_t keep = Uint16Argument(keepMask, "keep_mask");
  const std::uint16_t data = Uint16Argument(value, "value");
  act([&] { return m_link->Modify(address, keep, data).ok(); });
}

void Chip::op(const std::string& name, const py::args& arguments) {
  std::vector<std::string> texts;
  for (const py::handle argument : arguments) texts.push_back(OperationArgument(argument));
  std::string error;
  // The index checks the name and every argument before the operation makes its first access.
  const std::optional<Status> status = act([&] { return CallOperationByName(*m_codec, name, texts, error); });
  if (!status) throw py::value_error(error);
}

std::size_t Chip::runScript(py::handle path) {
  const std::string file = PathArgument(path);
  enterOpen();
  ScriptRunResult run;
  int openError = 0;
  Interruption interruption;
  {
    py::gil_scoped_release released;
    run = RunScriptFile(*m_link, file,
                        {Owner::none(), [&interruption](std::size_t) { return interruption.keepGoing(); }, {}});
    openError = errno;
  }
  interruption.raiseIfInterrupted(m_messenger);
  if (!run.opened) {
    m_messenger.take();
    RaiseFileError(openError, file);
  }
  if (run.readFailed) {
    m_messenger.take();
    RaiseFileError(EIO, file);
  }
  // The run's own closing message names the first write that failed and its line.
  std::vector<Message> messages = m_messenger.take();
  const std::string words = messages.empty() ? DescribeTally(run.accesses, m_link->settings()) : messages.back().text;
  conclude(run.accesses, words, std::move(messages));
  return run.writes;
}

ReadAllResult Chip::readAll() {
  enterOpen();
  ReadAllResult all;
  Interruption interruption;
  {
    py::gil_scoped_release released;
    all = ReadAllRegisters(*m_link, [&interruption](std::size_t, std::size_t) { return interruption.keepGoing(); });
  }
  interruption.raiseIfInterrupted(m_messenger);
  return all;
}

Snapshot Chip::snapshot(py::handle path) {
  const std::optional<std::string> file = path.is_none() ? std::nullopt : std::optional(PathArgument(path));
  ReadAllResult all = readAll();
  // Saved also when some reads failed: the file says which registers are unknown.
  if (file && !WriteSnapshotFile(*file, all.snapshot, LocalTimeText(), LinkDescription(*m_link))) {
    const int error = errno;
    m_messenger.take();
    RaiseFileError(error, *file);
  }
  conclude(all.tally, DescribeTally(all.tally, m_link->settings()));
  return Snapshot{std::move(all.snapshot)};
}

py::list Chip::diff(py::handle snapshotOrPath) {
  const Snapshot before =
      py::isinstance<Snapshot>(snapshotOrPath) ? snapshotOrPath.cast<Snapshot>() : LoadSnapshot(snapshotOrPath);
  const ReadAllResult now = readAll();
  conclude(now.tally, DescribeTally(now.tally, m_link->settings()));
  return DifferencesOf(CompareSnapshots(before.registers, now.snapshot));
}

py::list Chip::fields() {
  const ReadAllResult now = readAll();
  conclude(now.tally, DescribeTally(now.tally, m_link->settings()));
  return FieldsOf(now.snapshot);
}

void Chip::close() {
  enter();
  if (m_closed) return;
  // Gives the USB channel back, so that another program (or Chip) can open the bridge.
  m_link->i2c().I2cClose();
  m_link->spi().SpiClose();
  m_closed = true;
}

std::size_t Chip::logSize() {
  enter();
  return m_link->writeLog().count();
}

py::object Chip::logEntry(py::ssize_t index) {
  enter();
  const auto count = static_cast<py::ssize_t>(m_link->writeLog().count());
  if (index < 0) index += count;
  if (index < 0 || index >= count) throw py::index_error("write log index out of range");
  return LogEntryOf(m_link->writeLog().entry(static_cast<std::size_t>(index)));
}

py::list Chip::logEntries() {
  enter();
  py::list entries;
  const WriteLog& log = m_link->writeLog();
  for (std::size_t i = 0; i < log.count(); ++i) entries.append(LogEntryOf(log.entry(i)));
  return entries;
}

void Chip::saveLog(py::handle path, bool names) {
  const std::string file = PathArgument(path);
  enter();
  RenderedLines lines;
  lines.render(m_link->writeLog(), 0, names ? WriteForm::Name : WriteForm::Address);
  if (!WriteScriptFile(file, lines)) RaiseFileError(errno, file);
}

void Chip::clearLog() {
  enter();
  m_link->writeLog().clear();
}

Snapshot LoadSnapshot(py::handle path) {
  const std::string file = PathArgument(path);
  std::string error;
  std::optional<ChipSnapshot> snapshot = ReadSnapshotFile(file, error);
  if (!snapshot) {
    const int openError = errno;
    if (error.starts_with("cannot open ")) RaiseFileError(openError, file);
    throw py::value_error(error);
  }
  return Snapshot{std::move(*snapshot)};
}

py::list ListDevices() {
  std::vector<ftdi::DeviceInfo> devices;
  ftdi::PortStatus listed;
  {
    py::gil_scoped_release released;
    listed = ftdi::MakeLibFtdiUsb()->list(devices);
  }
  if (!listed.ok()) {
    PyErr_SetString(PyExc_OSError, ("the USB bus cannot be read: " + listed.text).c_str());
    throw py::error_already_set();
  }
  py::list all;
  const py::object record = py::module_::import("tonvisor._types").attr("Device");
  for (const ftdi::DeviceInfo& device : devices) {
    all.append(record(device.index, device.serial, device.description, device.problem));
  }
  return all;
}

}  // namespace tonvisor::python
