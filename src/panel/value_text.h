#pragma once

#include <span>
#include <string>

namespace tonvisor {

// How a slider's value label reads a position: one printf format of one value ("%.1fdB",
// "%ddB", "%s") and the value at that position, from a formula or from a table. The text is
// exactly what printf gives in the C locale, whatever the user's locale: boards' procedures
// quote these labels. A format that does not take its value's kind does not compile.
class ValueText {
 public:
  // format of number(position), a double: "%2.1fdB" of position * 1.5.
  static consteval ValueText Number(const char* format, double (*number)(int position)) {
    Check(format, "feEgG");
    return ValueText(format, number, {}, {});
  }
  // format of table[position], an int: "%ddB" of the gain table.
  static consteval ValueText Integer(const char* format, std::span<const int> table) {
    Check(format, "di");
    return ValueText(format, nullptr, table, {});
  }
  // format of table[position], a text: "%s" of the bias table.
  static consteval ValueText Text(const char* format, std::span<const char* const> table) {
    Check(format, "s");
    return ValueText(format, nullptr, {}, table);
  }

  // The label at a position; empty for a position the table does not reach.
  std::string of(int position) const;

 private:
  constexpr ValueText(const char* format, double (*number)(int), std::span<const int> integers,
                      std::span<const char* const> texts)
      : m_format(format), m_number(number), m_integers(integers), m_texts(texts) {}

  // Not constexpr: reaching it while checking a format at compile time is a compile error.
  static void FormatDoesNotTakeOneValueOfItsKind();

  // Exactly one conversion (flags, width and precision allowed, "%%" aside), of one of kinds.
  static consteval void Check(const char* format, const char* kinds) {
    int conversions = 0;
    for (const char* c = format; *c != '\0'; ++c) {
      if (*c != '%') continue;
      ++c;
      if (*c == '%') continue;
      while (*c == '-' || *c == '+' || *c == ' ' || *c == '#' || *c == '0') ++c;
      while (*c >= '0' && *c <= '9') ++c;
      if (*c == '.') {
        ++c;
        while (*c >= '0' && *c <= '9') ++c;
      }
      bool fits = false;
      for (const char* k = kinds; *k != '\0'; ++k) fits = fits || *c == *k;
      if (!fits) FormatDoesNotTakeOneValueOfItsKind();
      ++conversions;
    }
    if (conversions != 1) FormatDoesNotTakeOneValueOfItsKind();
  }

  const char* m_format;
  double (*m_number)(int);
  std::span<const int> m_integers;
  std::span<const char* const> m_texts;
};

}  // namespace tonvisor
