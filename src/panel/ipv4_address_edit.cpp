#include "panel/ipv4_address_edit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStringList>

namespace tonvisor {

namespace {

constexpr int kNumbers = 4;

}  // namespace

Ipv4AddressEdit::Ipv4AddressEdit(QWidget* parent) : QLineEdit(parent) {
  // Up to four numbers of 0 to 255, each possibly still blank while being typed.
  const QString number = QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?");
  const QRegularExpression pattern(QStringLiteral("^%1(\\.%1){0,3}$").arg(number));
  setValidator(new QRegularExpressionValidator(pattern, this));
  setMaxLength(15);
  setPlaceholderText(QStringLiteral("0.0.0.0"));
  const int width = fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 24;
  setMinimumWidth(width);
}

std::uint32_t Ipv4AddressEdit::address() const {
  const QStringList parts = text().split(QLatin1Char('.'));
  std::uint32_t address = 0;
  for (int i = 0; i < kNumbers; ++i) {
    // The validator keeps every number within 0..255; anything unreadable counts as blank.
    const uint number = i < parts.size() ? parts[i].trimmed().toUInt() : 0;
    address = (address << 8) | (number & 0xFFu);
  }
  return address;
}

QString Ipv4AddressEdit::dottedText() const {
  const std::uint32_t a = address();
  return QStringLiteral("%1.%2.%3.%4").arg(a >> 24).arg((a >> 16) & 0xFF).arg((a >> 8) & 0xFF).arg(a & 0xFF);
}

}  // namespace tonvisor
