#pragma once

#include <cstdint>

#include <QLineEdit>

namespace tonvisor {

// An IPv4 address typed as four numbers from 0 to 255 separated by dots. Only such text can
// be typed; a number left blank (or the whole field) counts as 0, as in the address fields
// the chip's engineers know.
class Ipv4AddressEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit Ipv4AddressEdit(QWidget* parent = nullptr);

  // The address as a 32-bit number, first number in the top byte.
  std::uint32_t address() const;
  // The four numbers in dotted form ("127.0.0.20"), blanks as 0.
  QString dottedText() const;
};

}  // namespace tonvisor
