#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "link/typed_text.h"

namespace tonvisor {
namespace {

using Texts = std::vector<std::string>;

constexpr std::nullopt_t kNone = std::nullopt;
const std::string kHundredZeros(100, '0');

// The three hexadecimal rules and the port rule side by side, so that every difference
// between them is visible in one row.
TEST(TypedText, HexadecimalAndPortRulesReadTheSameTextsTheirOwnWay) {
  struct Row {
    std::string text;
    std::optional<std::uint16_t> lenient, strict, script, port;
  };
  const Row rows[] = {
      {"", kNone, kNone, kNone, kNone},
      {" ", kNone, kNone, kNone, kNone},
      {"0x", 0x0000, kNone, kNone, kNone},  // strtoul reads the 0 and stops at the x
      {"0X1a", 0x001A, 0x001A, 0x001A, kNone},
      {"0x0x1", 0x0000, kNone, 0x0000, kNone},
      {"+1A", 0x001A, kNone, kNone, kNone},
      {"-1", 0xFFFF, kNone, kNone, kNone},
      {"2G", 0x0002, kNone, 0x0002, kNone},
      {"FFFF", 0xFFFF, 0xFFFF, 0xFFFF, kNone},
      {"FFFFg", 0xFFFF, kNone, 0xFFFF, kNone},
      {"10000", 0x0000, kNone, kNone, 10000},
      {"65535", 0x5535, kNone, kNone, 65535},
      {"65536", 0x5536, kNone, kNone, kNone},
      {"0", 0x0000, 0x0000, 0x0000, 0},
      {" 30 ", 0x0030, kNone, kNone, 30},
      {"\t30\r\n", 0x0030, kNone, kNone, 30},
      {"3 0", 0x0003, kNone, 0x0003, kNone},
      {"+30", 0x0030, kNone, kNone, kNone},
      {"1e3", 0x01E3, 0x01E3, 0x01E3, kNone},
      {"inf", kNone, kNone, kNone, kNone},
      {"nan", kNone, kNone, kNone, kNone},
      {"0.0001", 0x0000, kNone, 0x0000, kNone},
      {"12.288", 0x0012, kNone, 0x0012, kNone},
      // Leading zeros never make a number too long; more digits than fit do.
      {kHundredZeros + "1A", 0x001A, 0x001A, 0x001A, kNone},
      {kHundredZeros + "30", 0x0030, 0x0030, 0x0030, 30},
      {std::string(40, 'F'), 0xFFFF, kNone, kNone, kNone},  // strtoul saturates
      {"1" + std::string(40, '0'), 0xFFFF, kNone, kNone, kNone},
      {std::string(40, '9'), 0xFFFF, kNone, kNone, kNone},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("\"" + row.text + "\"");
    EXPECT_EQ(ReadLenientHex16(row.text), row.lenient);
    EXPECT_EQ(ReadStrictHex16(row.text), row.strict);
    EXPECT_EQ(ReadScriptHex16(row.text), row.script);
    EXPECT_EQ(ReadPort(row.text), row.port);
  }
  // The text ends where the view ends, not at a terminator further on.
  EXPECT_EQ(ReadLenientHex16(std::string_view("12345", 2)), 0x0012);
  EXPECT_EQ(ReadPort(std::string_view("30000", 2)), 30);
}

TEST(TypedText, DottedIpv4AddressesAreFourPartsUpTo255) {
  EXPECT_EQ(ReadDottedIpv4("127.0.0.1"), 0x7F000001u);
  EXPECT_EQ(ReadDottedIpv4("0.0.0.0"), 0u);
  EXPECT_EQ(ReadDottedIpv4("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(ReadDottedIpv4("192.168.1.20"), 0xC0A80114u);
  for (const std::string& text : Texts{"", " ", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "01.2.3.4", " 1.2.3.4",
                                      "1.2.3.4 ", "localhost", "0x7F.0.0.1", std::string("1.2.3.4\0.5", 10)}) {
    EXPECT_EQ(ReadDottedIpv4(text), kNone) << "\"" << text << "\"";
  }
}

TEST(TypedText, DecimalIntegersFillTheWholeTextAndFitAnInt) {
  const std::pair<std::string, int> read[] = {
      {"0", 0},         {"-1", -1},       {"+5", 5}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
      {"65536", 65536}, {kHundredZeros + "7", 7},
  };
  for (const auto& [text, value] : read) {
    const NumberReading<int> reading = ReadDecimalInt(text);
    EXPECT_EQ(reading.value, value) << text;
    EXPECT_FALSE(reading.outOfRange) << text;
  }
  for (const std::string& text : Texts{"", " ", "+", "-", "+-1", "-+1", " 30 ", "0x10", "+1A", "2G", "1e3", "1.0",
                                      "inf", "nan", "0.0001", "12.288", std::string(40, '9') + "x"}) {
    const NumberReading<int> reading = ReadDecimalInt(text);
    EXPECT_EQ(reading.value, kNone) << "\"" << text << "\"";
    EXPECT_FALSE(reading.outOfRange) << "\"" << text << "\"";
  }
  for (const std::string& text : Texts{"2147483648", "-2147483649", std::string(40, '9'), "-" + std::string(40, '9')}) {
    const NumberReading<int> reading = ReadDecimalInt(text);
    EXPECT_EQ(reading.value, kNone) << text;
    EXPECT_TRUE(reading.outOfRange) << text;
  }
}

TEST(TypedText, FiniteNumbersFillTheWholeTextAndAreNeitherInfiniteNorNan) {
  const std::pair<std::string, double> read[] = {
      {"0", 0.0},           {"-0.5017", -0.5017}, {"+3", 3.0},   {"-9e1", -90.0}, {"1e3", 1000.0},
      {"0.0001", 0.0001},   {"12.288", 12.288},   {"1e-320", 1e-320},  // very small, yet a double
      {std::string(40, '1'), 1111111111111111111111111111111111111111.0},
  };
  for (const auto& [text, value] : read) {
    const NumberReading<double> reading = ReadFiniteNumber(text);
    EXPECT_EQ(reading.value, value) << text;
    EXPECT_FALSE(reading.outOfRange) << text;
  }
  for (const std::string& text : Texts{"", " ", "+", "0x", "0x10", "+1A", "-0.5dB", " 30 ", "inf", "-inf", "+inf",
                                      "infinity", "nan", "-nan", "+-1", "1e", "1,5"}) {
    const NumberReading<double> reading = ReadFiniteNumber(text);
    EXPECT_EQ(reading.value, kNone) << "\"" << text << "\"";
    EXPECT_FALSE(reading.outOfRange) << "\"" << text << "\"";
  }
  for (const std::string& text : Texts{"1e999", "-1e999", "1e-400", "1" + std::string(400, '0')}) {
    const NumberReading<double> reading = ReadFiniteNumber(text);
    EXPECT_EQ(reading.value, kNone) << text;
    EXPECT_TRUE(reading.outOfRange) << text;
  }
}

TEST(TypedText, LeadingFloatsAreReadAsScanfReadsThem) {
  const std::pair<std::string, float> read[] = {
      {"12.288", 12.288f}, {" 12.288MHz", 12.288f}, {"\t-12.288", -12.288f}, {"+1e3", 1000.0f},
      {".5", 0.5f},        {"1e", 1.0f},            {"0.0001", 0.0001f},     {"2G", 2.0f},
      {"12,288", 12.0f},  // "." is the decimal point in every locale
  };
  for (const auto& [text, value] : read) EXPECT_EQ(ReadLeadingFloat(text), value) << text;
  EXPECT_EQ(ReadLeadingFloat("inf"), INFINITY);
  EXPECT_EQ(ReadLeadingFloat("-inf"), -INFINITY);
  ASSERT_TRUE(ReadLeadingFloat("nan"));
  EXPECT_TRUE(std::isnan(*ReadLeadingFloat("nan")));
  // No number at the start, two signs, or nothing a float can hold.
  for (const std::string& text : Texts{"", " ", "abc", ".", "--5", "+-5", "- 5", "1e999", "1e-50"}) {
    EXPECT_EQ(ReadLeadingFloat(text), kNone) << "\"" << text << "\"";
  }
}

TEST(TypedText, LeadingDecimalsAreNeverHexInfiniteOrNan) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  const std::pair<std::string, double> read[] = {
      {"100%", 100.0},   {" -12", -12.0},  {"\t+2.9x", 2.9},   {".5", 0.5},     {"5.", 5.0},
      {"1e3dB", 1000.0}, {"1e", 1.0},      {"2e+", 2.0},       {"-1.5E-1", -0.15},
      {"0x1F", 0.0},     {"12,5", 12.0},   {"007", 7.0},       {"-0", -0.0},
      {"1e999", kLargest}, {"-1e999", -kLargest}, {"1e-999", 0.0},  // beyond a double: its ends, or 0
  };
  for (const auto& [text, value] : read) EXPECT_EQ(ReadLeadingDecimal(text), value) << text;
  for (const std::string& text : Texts{"", "  ", "%", ".", "-", "+-1", "--1", "- 1", "inf", "-inf", "nan", "e5",
                                      "x10"}) {
    EXPECT_EQ(ReadLeadingDecimal(text), kNone) << "\"" << text << "\"";
  }
}

TEST(TypedText, RegisterValuesAreShownAsFourUpperCaseDigits) {
  EXPECT_EQ(FormatHex4(0x0000), "0000");
  EXPECT_EQ(FormatHex4(0x00ab), "00AB");
  EXPECT_EQ(FormatHex4(0xFFFF), "FFFF");
  EXPECT_EQ(FormatPrefixedHex4(0x0000), "0x0000");
  EXPECT_EQ(FormatPrefixedHex4(0x3c3c), "0x3C3C");
  EXPECT_EQ(FormatPrefixedHex4(0xFFFF), "0xFFFF");
}

}  // namespace
}  // namespace tonvisor
