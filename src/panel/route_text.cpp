#include "panel/route_text.h"

#include <algorithm>

namespace tonvisor {

namespace {

// The longest piece the route list has ever kept of a route's text.
constexpr std::size_t kMaxPiece = 99;

bool Has(const std::string& piece, std::string_view part) { return piece.find(part) != std::string::npos; }

}  // namespace

std::string RouteText(std::span<const std::string> parts, std::span<const std::string> outputs) {
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += kRouteSeparator;
    text += part;
  }
  bool first = true;
  for (const std::string& output : outputs) {
    text += first ? kRouteSeparator : kOutputSeparator;
    text += output;
    first = false;
  }
  return text;
}

std::array<std::string, 4> SplitRoute(std::string_view text) {
  std::array<std::string, 4> pieces;
  std::size_t piece = 0;
  for (; piece + 1 < pieces.size(); ++piece) {
    const std::size_t separator = text.find(kRouteSeparator);
    if (separator == std::string_view::npos) break;
    pieces[piece] = text.substr(0, std::min(separator, kMaxPiece));
    text.remove_prefix(separator + kRouteSeparator.size());
  }
  pieces[piece] = text.substr(0, kMaxPiece);
  return pieces;
}

RouteReading ReadRoute(std::string_view text) {
  const std::array<std::string, 4> piece = SplitRoute(text);
  RouteReading reading;
  const bool lineIn = Has(piece[0], "LINEIN");
  if (lineIn) {
    reading.input = RouteInput::LineIn;
  } else if (Has(piece[0], "MIC")) {
    reading.input = RouteInput::Mic;
  } else if (Has(piece[0], "I2S_DIN")) {
    reading.input = RouteInput::I2sDin;
  }
  reading.dap = Has(piece[1], kDapPart) || Has(piece[2], kDapPart);
  if (Has(piece[1], "ADC")) reading.path = lineIn ? RouteReading::Path::LineInAdc : RouteReading::Path::MicAdc;
  if (Has(piece[1], "Pass through") && lineIn) reading.path = RouteReading::Path::LineInPassThrough;
  const auto named = [&](std::string_view output) {
    return Has(piece[1], output) || Has(piece[2], output) || Has(piece[3], output);
  };
  reading.lineOut = named("LINEOUT");
  reading.hp = named("HP");
  reading.i2sDout = named("I2S_DOUT");
  return reading;
}

}  // namespace tonvisor
