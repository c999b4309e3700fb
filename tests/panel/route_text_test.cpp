#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel/route_text.h"

namespace tonvisor {
namespace {

using Parts = std::vector<std::string>;

TEST(RouteText, JoinsThePartsAndTheOutputs) {
  const std::tuple<Parts, Parts, std::string> routes[] = {
      {{"LINEIN", "ADC"}, {"LINEOUT", "I2S_DOUT"}, "LINEIN-->ADC-->LINEOUT , I2S_DOUT"},
      {{"I2S_DIN", "Digital Audio Processing"}, {"HP"}, "I2S_DIN-->Digital Audio Processing-->HP"},
      {{"MIC", "ADC", "Digital Audio Processing"},
       {"LINEOUT", "HP", "I2S_DOUT"},
       "MIC-->ADC-->Digital Audio Processing-->LINEOUT , HP , I2S_DOUT"},
      {{"LINEIN", "Pass through"}, {"HP"}, "LINEIN-->Pass through-->HP"},
  };
  for (const auto& [parts, outputs, text] : routes) EXPECT_EQ(RouteText(parts, outputs), text);
}

TEST(RouteText, SplitsAtTheFirstThreeSeparatorsIntoPiecesOfAtMost99Characters) {
  using Pieces = std::array<std::string, 4>;
  const std::string long100(100, 'x');
  const std::pair<std::string, Pieces> cases[] = {
      {"LINEIN", {"LINEIN", "", "", ""}},
      {"I2S_DIN-->HP", {"I2S_DIN", "HP", "", ""}},
      {"MIC-->ADC-->Digital Audio Processing-->LINEOUT , HP",
       {"MIC", "ADC", "Digital Audio Processing", "LINEOUT , HP"}},
      {"a-->b-->c-->d-->e", {"a", "b", "c", "d-->e"}},  // the last piece keeps the rest
      {"-->-->", {"", "", "", ""}},
      {long100 + "-->" + long100, {std::string(99, 'x'), std::string(99, 'x'), "", ""}},
  };
  for (const auto& [text, pieces] : cases) EXPECT_EQ(SplitRoute(text), pieces) << text;
}

TEST(RouteText, ReadsBackWhatEditRouteLoads) {
  using Path = RouteReading::Path;
  struct Case {
    const char* text;
    std::optional<RouteInput> input;
    bool dap;
    Path path;
    bool lineOut, hp, i2sDout;
  };
  const Case cases[] = {
      {"LINEIN-->ADC-->LINEOUT , I2S_DOUT", RouteInput::LineIn, false, Path::LineInAdc, true, false, true},
      {"MIC-->ADC-->Digital Audio Processing-->LINEOUT , HP", RouteInput::Mic, true, Path::MicAdc, true, true, false},
      {"I2S_DIN-->Digital Audio Processing-->HP", RouteInput::I2sDin, true, Path::Unchanged, false, true, false},
      {"LINEIN-->Pass through-->Digital Audio Processing-->HP , I2S_DOUT", RouteInput::LineIn, true,
       Path::LineInPassThrough, false, true, true},
      {"I2S_DIN-->LINEOUT", RouteInput::I2sDin, false, Path::Unchanged, true, false, false},
      // Substrings, with their case: "linein" names nothing, and a MIC route's ADC is the mic's.
      {"linein-->ADC-->HP", std::nullopt, false, Path::MicAdc, false, true, false},
      // Pass through is the line-in's only.
      {"MIC-->Pass through-->HP", RouteInput::Mic, false, Path::Unchanged, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const RouteReading reading = ReadRoute(c.text);
    EXPECT_EQ(reading.input, c.input);
    EXPECT_EQ(reading.dap, c.dap);
    EXPECT_EQ(reading.path, c.path);
    EXPECT_EQ(reading.lineOut, c.lineOut);
    EXPECT_EQ(reading.hp, c.hp);
    EXPECT_EQ(reading.i2sDout, c.i2sDout);
  }
}

}  // namespace
}  // namespace tonvisor
