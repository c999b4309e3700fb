#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tonvisor {

// A programmed route exists only as its line of text in the Routing page's list, so the text
// is both what the user reads and what Edit Route loads back:
//   LINEIN-->ADC-->LINEOUT , I2S_DOUT
//   I2S_DIN-->Digital Audio Processing-->HP
//   MIC-->ADC-->Digital Audio Processing-->LINEOUT , HP , I2S_DOUT
inline constexpr std::string_view kRouteSeparator = "-->";
inline constexpr std::string_view kOutputSeparator = " , ";
inline constexpr std::string_view kDapPart = "Digital Audio Processing";

enum class RouteInput { LineIn, Mic, I2sDin };
enum class RouteOutput { LineOut, Hp, I2sDout };

// The route's parts (input, path, processor) joined by "-->", then "-->" and the outputs
// joined by " , ".
std::string RouteText(std::span<const std::string> parts, std::span<const std::string> outputs);

// The text cut at the first three "-->": the pieces before, between and after them, the last
// holding whatever follows the third; pieces past the last separator found are empty. Each
// piece keeps at most 99 characters.
std::array<std::string, 4> SplitRoute(std::string_view text);

// What Edit Route loads back from a route's text. Every test looks for a substring, case and
// all; a piece that names nothing leaves the page's control as it is.
struct RouteReading {
  enum class Path { Unchanged, LineInAdc, MicAdc, LineInPassThrough };

  std::optional<RouteInput> input;  // from piece 0: LINEIN, else MIC, else I2S_DIN
  bool dap = false;                 // piece 1 or 2 names the processor
  Path path = Path::Unchanged;      // from piece 1
  bool lineOut = false, hp = false, i2sDout = false;  // named in piece 1, 2 or 3
};

RouteReading ReadRoute(std::string_view text);

}  // namespace tonvisor
