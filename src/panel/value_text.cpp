#include "panel/value_text.h"

#include <clocale>
#include <cstdio>

#include <locale.h>

namespace tonvisor {

namespace {

// printf in the C locale on this thread only: the decimal point stays "." where the user's
// locale writes ",", and other threads keep their own locale meanwhile.
template <typename Value>
std::string FormatInCLocale(const char* format, Value value) {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const locale_t previous = uselocale(c);
  char text[128];
  const int length = std::snprintf(text, sizeof text, format, value);
  uselocale(previous);
  if (length < 0) return {};
  return std::string(text, static_cast<std::size_t>(length) < sizeof text ? static_cast<std::size_t>(length)
                                                                            : sizeof text - 1);
}

}  // namespace

std::string ValueText::of(int position) const {
  if (m_number != nullptr) return FormatInCLocale(m_format, m_number(position));
  const auto index = static_cast<std::size_t>(position);
  if (position < 0) return {};
  if (!m_integers.empty()) return index < m_integers.size() ? FormatInCLocale(m_format, m_integers[index]) : "";
  return index < m_texts.size() ? FormatInCLocale(m_format, m_texts[index]) : "";
}

}  // namespace tonvisor
