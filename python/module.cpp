// The extension of the `tonvisor` package: Chip, its write log, snapshots and open().

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "chip.h"
#include "codec/operation_index.h"
#include "records.h"

namespace py = pybind11;
using tonvisor::python::Chip;
using tonvisor::python::OpenArguments;
using tonvisor::python::Snapshot;

namespace {

// The write log of one Chip, as Chip.log gives it.
struct Log {
  Chip* chip;
};

constexpr const char* kChipDoc = R"(A connection to one KRVL7300 codec, made by tonvisor.open().

Registers are named as in the register map ("CHIP_ANA_CTRL_REG") or given by address (0x0024);
values are ints from 0 to 0xFFFF. Every call is one action: when a register access does not
reach the chip it raises AccessError, and a method never returns a value that did not arrive.
Bad arguments raise ValueError (or TypeError) before anything is sent.

While a call waits on the link the GIL is released, so other Python threads run. A Chip belongs
to the thread that opened it: a call from another thread raises RuntimeError (open one Chip per
thread). As a context manager it closes the link on leaving, also on an exception.)";

constexpr const char* kReadDoc = R"(read(reg: str | int) -> int

Read one register and return its 16-bit value.

reg is a register name or an address. Raises AccessError when no value arrived (over SPI the
chip cannot be read at all).)";

constexpr const char* kWriteDoc = R"(write(reg: str | int, value: int) -> None

Write a 16-bit value to one register (logged in Chip.log as the link logs it).)";

constexpr const char* kModifyDoc = R"(modify(reg: str | int, keep_mask: int, value: int) -> None

Read-modify-write one register.

The bits set in keep_mask keep their old value; the others take value's bits:
new = (old & keep_mask) | (value & ~keep_mask). Raises AccessError when the read or the write
did not reach the chip; a failed read writes nothing. Not possible over SPI.)";

constexpr const char* kOpDoc = R"(op(name: str, *args: int | float | str) -> None

Run a codec operation or preset by name, as tonvisor-cli's op command does.

op("ConfigureDacVolume", -6.0), op("WriteGeqVolume", 2, 47), op("LoadPeqPreset", "Rock").
Arguments are ints, floats or str; tonvisor.operations() lists the names and their arguments.
An unknown name, a wrong count or an argument out of its range raises ValueError before any
access.)";

constexpr const char* kRunScriptDoc = R"(run_script(path: str | os.PathLike) -> int

Run a script file (comment lines and write lines) and return the number of writes made.

Raises OSError when the file cannot be opened or read to its end, AccessError when a write did
not reach the chip (the message names its line). Write lines that say no register or value are
skipped with a TonvisorWarning.)";

constexpr const char* kSnapshotDoc = R"(snapshot(path: str | os.PathLike | None = None) -> Snapshot

Read every named register and return them as a Snapshot.

With a path, also save them as a script that, run, puts the chip back as it is now (saved also
when some reads failed: the file says which registers are unknown). Raises AccessError when a
register could not be read.)";

constexpr const char* kDiffDoc = R"(diff(snapshot: Snapshot | str | os.PathLike) -> list[Difference]

Compare the chip as it is now with a snapshot (a Snapshot or a snapshot file's path).

Returns the registers that differ as a list of Difference, each with the fields that differ;
an empty list when they are equal.)";

constexpr const char* kFieldsDoc = R"(fields() -> list[Field]

Read every named register and decode its fields as the Register Map does.

Returns a list of Field: register, address, field name, bits, value and, when the value has a
name, its name.)";

constexpr const char* kCloseDoc = R"(close() -> None

Close the link and give the USB bridge back. The write log stays readable.)";

constexpr const char* kLogDoc = R"(The write log: every register write the link logged and every comment line, in order.

Entries are LogEntry tuples: ("write", address, value, "Write") or ("comment", None, None, text).
len(), indexing and iteration read it; save() writes it as a script; clear() empties it. It
holds at most 2000 entries; further ones are refused with a TonvisorWarning. Opening a Chip
starts an empty log.)";

constexpr const char* kSaveDoc = R"(save(path: str | os.PathLike, names: bool = False) -> None

Save the log as a script, byte for byte what the panel's Save Script writes.

With names=True register writes name the register instead of giving its address.)";

constexpr const char* kSnapshotClassDoc = R"(The chip's named registers at one moment, from Chip.snapshot() or tonvisor.load_snapshot().

snapshot["CHIP_ID_REG"] (or snapshot[0x0000]) is a register's value, None when it is unknown;
registers lists them all as Register tuples in the register map's order.)";

constexpr const char* kOpenDoc = R"(open(link: str = "i2c", *, i2c_address: int = 0x0A, i2c_clock: int = 100, device: str | None = None, host: str | None = None, port: int = 30, simulate: bool = False) -> Chip

Open the link to the chip and return a Chip (also a context manager).

link: "i2c", "spi" (write-only: the chip cannot be read over SPI) or "ethernet".
i2c_address: the codec's 7-bit I2C address (0 to 0x7F); i2c_clock: 100 or 400 (kHz).
device: the USB bridge's serial or index as devices() lists them (default: the first).
host, port: the board's dotted IPv4 address and TCP port (ethernet).
simulate: talk to a simulated chip instead of the USB bridge.

Raises ValueError for a bad argument and AccessError when the USB channel cannot be opened.)";

}  // namespace

PYBIND11_MODULE(_tonvisor, m) {
  // Each docstring starts with its signature as Python callers write it; pybind11's own would
  // show the C++ side's types.
  py::options options;
  options.disable_function_signatures();
  m.doc() = "The extension of the tonvisor package; import tonvisor instead.";

  py::class_<Snapshot>(m, "Snapshot", kSnapshotClassDoc)
      .def_property_readonly(
          "registers", [](const Snapshot& snapshot) { return tonvisor::python::RegistersOf(snapshot.registers); },
          "registers -> list[Register]\n\nEvery named register as a Register tuple (name, address, value or None).")
      .def(
          "__getitem__",
          [](const Snapshot& snapshot, py::handle reg) -> py::object {
            const std::uint16_t address = tonvisor::python::RegisterArgument(reg);
            const tonvisor::RegisterReading* reading = snapshot.registers.find(address);
            if (reading == nullptr) throw py::key_error("the register map names no register at this address");
            return reading->value ? py::object(py::int_(*reading->value)) : py::object(py::none());
          },
          py::arg("reg"))
      .def("__len__", [](const Snapshot& snapshot) { return snapshot.registers.registers.size(); })
      .def("__repr__", [](const Snapshot& snapshot) {
        std::size_t unknown = 0;
        for (const auto& reading : snapshot.registers.registers) unknown += reading.value ? 0 : 1;
        return "<tonvisor.Snapshot of " + std::to_string(snapshot.registers.registers.size()) + " registers, " +
               std::to_string(unknown) + " unknown>";
      });

  py::class_<Log>(m, "Log", kLogDoc)
      .def("__len__", [](const Log& log) { return log.chip->logSize(); })
      .def("__getitem__", [](const Log& log, py::ssize_t index) { return log.chip->logEntry(index); }, py::arg("index"))
      .def("__iter__", [](const Log& log) { return py::iter(log.chip->logEntries()); })
      .def(
          "save", [](const Log& log, py::handle path, bool names) { log.chip->saveLog(path, names); }, py::arg("path"),
          py::arg("names") = false, kSaveDoc)
      .def(
          "clear", [](const Log& log) { log.chip->clearLog(); }, "clear() -> None\n\nEmpty the log.")
      .def("__repr__", [](const Log& log) {
        return "<tonvisor.Log of " + std::to_string(log.chip->logSize()) + " entries>";
      });

  py::class_<Chip>(m, "Chip", kChipDoc)
      .def("read", &Chip::read, py::arg("reg"), kReadDoc)
      .def("write", &Chip::write, py::arg("reg"), py::arg("value"), kWriteDoc)
      .def("modify", &Chip::modify, py::arg("reg"), py::arg("keep_mask"), py::arg("value"), kModifyDoc)
      .def("op", &Chip::op, py::arg("name"), kOpDoc)
      .def("run_script", &Chip::runScript, py::arg("path"), kRunScriptDoc)
      .def("snapshot", &Chip::snapshot, py::arg("path") = py::none(), kSnapshotDoc)
      .def("diff", &Chip::diff, py::arg("snapshot"), kDiffDoc)
      .def("fields", &Chip::fields, kFieldsDoc)
      .def_property_readonly(
          "log", [](Chip& chip) { return Log{&chip}; }, py::keep_alive<0, 1>(), kLogDoc)
      .def_property_readonly("link", &Chip::linkName, "The link: \"i2c\", \"spi\" or \"ethernet\".")
      .def_property_readonly("closed", &Chip::closed, "Whether close() was called.")
      .def("close", &Chip::close, kCloseDoc)
      .def(
          "__enter__",
          [](py::object self) {
            self.cast<Chip&>().enterOpen();
            return self;
          },
          "Return the chip itself.")
      .def(
          "__exit__",
          [](Chip& chip, const py::args&) {
            chip.close();
            return false;
          },
          "Close the link (the exception, if any, goes on).")
      .def("__repr__", [](const Chip& chip) {
        return std::string("<tonvisor.Chip over ") + chip.linkName() + (chip.closed() ? ", closed>" : ">");
      });

  m.def(
      "open",
      [](std::string link, py::object i2cAddress, py::object i2cClock, std::optional<std::string> device,
         std::optional<std::string> host, py::object port, bool simulate) {
        return std::make_unique<Chip>(
            OpenArguments{std::move(link), i2cAddress, i2cClock, std::move(device), std::move(host), port, simulate});
      },
      py::arg("link") = "i2c", py::kw_only(), py::arg("i2c_address") = 0x0A, py::arg("i2c_clock") = 100,
      py::arg("device") = py::none(), py::arg("host") = py::none(), py::arg("port") = 30, py::arg("simulate") = false,
      kOpenDoc);

  m.def("load_snapshot", &tonvisor::python::LoadSnapshot, py::arg("path"),
        "load_snapshot(path: str | os.PathLike) -> Snapshot\n\n"
        "Read a snapshot file that Chip.snapshot(path) or tonvisor-cli snapshot saved; OSError when it "
        "cannot be read, ValueError when it names a register the map does not know.");

  m.def("devices", &tonvisor::python::ListDevices,
        "devices() -> list[Device]\n\n"
        "List the USB bridges (FT2232H) plugged in as Device tuples; OSError when the USB bus cannot be read.");

  m.def(
      "operations",
      [] {
        py::list all;
        for (const tonvisor::OperationInfo& info : tonvisor::ListOperations()) {
          all.append(py::make_tuple(std::string(info.name), std::string(info.arguments)));
        }
        return all;
      },
      "operations() -> list[tuple[str, str]]\n\n"
      "Every operation Chip.op() runs, as (name, arguments) tuples, e.g. (\"ConfigureDacVolume\", \"DB\").");

  // help() shows them as the package's own.
  for (const char* name : {"Chip", "Log", "Snapshot"}) m.attr(name).attr("__module__") = "tonvisor";
}
