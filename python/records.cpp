#include "records.h"

#include <cerrno>

#include "codec/field_choices.h"
#include "codec/register_map.h"

namespace tonvisor::python {

namespace {

// tonvisor._types, imported once and kept for the life of the process.
py::handle Types() {
  static const py::handle types = py::module_::import("tonvisor._types").release();
  return types;
}

py::object Optional(const std::optional<std::uint16_t>& value) {
  return value ? py::object(py::int_(*value)) : py::object(py::none());
}

std::string Text(const Message& message) { return message.caption + ": " + message.text; }

}  // namespace

const char* LinkName(LinkKind link) {
  switch (link) {
    case LinkKind::I2c:
      return "i2c";
    case LinkKind::Spi:
      return "spi";
    case LinkKind::Ethernet:
      return "ethernet";
    case LinkKind::None:
      break;
  }
  return "none";
}

void RaiseAccessError(const std::string& words, const AccessResult* firstFailure, LinkKind link,
                      const std::vector<Message>& messages) {
  py::list told;
  for (const Message& message : messages) told.append(Text(message));
  py::object address = py::none();
  py::object name = py::none();
  if (firstFailure != nullptr) {
    address = py::int_(firstFailure->address);
    if (const auto known = FindRegisterName(firstFailure->address)) name = py::str(std::string(*known));
  }
  const py::object error = Types().attr("AccessError")(words, address, LinkName(link), name, py::tuple(told));
  PyErr_SetObject(error.get_type().ptr(), error.ptr());
  throw py::error_already_set();
}

void RaiseFileError(int error, const std::string& path) {
  errno = error == 0 ? EIO : error;
  PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
  throw py::error_already_set();
}

void Warn(const std::vector<Message>& messages) {
  const py::handle category = Types().attr("TonvisorWarning");
  for (const Message& message : messages) {
    if (PyErr_WarnEx(category.ptr(), Text(message).c_str(), 2) != 0) throw py::error_already_set();
  }
}

py::object LogEntryOf(const WriteLog::Entry& entry) {
  if (entry.isWrite()) return Types().attr("LogEntry")("write", entry.address, entry.value, entry.text);
  return Types().attr("LogEntry")("comment", py::none(), py::none(), entry.text);
}

py::list RegistersOf(const ChipSnapshot& snapshot) {
  py::list registers;
  const py::handle record = Types().attr("Register");
  for (const RegisterReading& reading : snapshot.registers) {
    registers.append(record(std::string(reading.name), reading.address, Optional(reading.value)));
  }
  return registers;
}

py::list DifferencesOf(const std::vector<RegisterDifference>& differences) {
  py::list all;
  const py::handle record = Types().attr("Difference");
  const py::handle fieldRecord = Types().attr("FieldDifference");
  for (const RegisterDifference& difference : differences) {
    py::list fields;
    for (const FieldDifference& field : difference.fields) {
      fields.append(fieldRecord(field.name, field.highBit, field.lowBit, Optional(field.before), Optional(field.after)));
    }
    all.append(record(std::string(difference.name), difference.address, Optional(difference.before),
                      Optional(difference.after), fields));
  }
  return all;
}

py::list FieldsOf(const ChipSnapshot& snapshot) {
  py::list all;
  const py::handle record = Types().attr("Field");
  for (const RegisterReading& reading : snapshot.registers) {
    for (const RegisterField& field : RegisterFields(reading.address)) {
      const int value = field.valueIn(reading.value.value_or(0));
      const char* meaning = ChoiceText(*field.field, value);
      all.append(record(std::string(reading.name), reading.address, field.name, field.highBit, field.lowBit, value,
                        meaning != nullptr ? py::object(py::str(meaning)) : py::object(py::none())));
    }
  }
  return all;
}

}  // namespace tonvisor::python
