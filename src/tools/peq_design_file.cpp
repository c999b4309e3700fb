#include "tools/peq_design_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "link/typed_text.h"
#include "tools/atomic_file.h"

namespace tonvisor {

namespace {

// A design is a few hundred bytes; anything far larger is not one.
constexpr std::uintmax_t kLargestFile = 1 << 20;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> found;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i == line.size()) break;
    const std::size_t start = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    found.push_back(line.substr(start, i - start));
  }
  return found;
}

std::string quoted(std::string_view word) {
  constexpr std::size_t kShown = 40;
  // Built by appending: GCC 12 at -O3 reports a false -Wrestrict overlap for "\"" + std::string(...).
  std::string text = "\"";
  text += word.substr(0, kShown);
  if (word.size() > kShown) text += "...";
  return text + "\"";
}

std::optional<double> number(std::string_view word) { return ReadFiniteNumber(word).value; }

// Reads one band line's words after "band"; the reason in error when it cannot.
bool readBand(const std::vector<std::string_view>& fields, std::size_t& index, PeqBand& band, std::string& error) {
  if (fields.size() != 6) {
    error = "a band line is \"band INDEX TYPE FREQUENCY_HZ GAIN_DB Q\"";
    return false;
  }
  const NumberReading<int> indexReading = ReadDecimalInt(fields[1]);
  if (!indexReading.value || *indexReading.value < 0 || *indexReading.value >= static_cast<int>(kPeqBandCount)) {
    error = "the band index must be 0 to 6, not " + quoted(fields[1]);
    return false;
  }
  index = static_cast<std::size_t>(*indexReading.value);
  const std::optional<PeqBandType> type = PeqBandTypeFromName(fields[2]);
  if (!type) {
    error = quoted(fields[2]) + " is no band type (flat peaking lowshelf highshelf lowpass highpass notch bandpass)";
    return false;
  }
  const char* what[] = {"frequency", "gain", "Q"};
  double* where[] = {&band.frequencyHz, &band.gainDb, &band.q};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::optional<double> value = number(fields[3 + i]);
    if (!value) {
      error = "the " + std::string(what[i]) + " must be a decimal number, not " + quoted(fields[3 + i]);
      return false;
    }
    *where[i] = *value;
  }
  band.type = *type;
  if (band.type == PeqBandType::Flat) return true;
  if (!(band.frequencyHz > 0.0)) {
    error = "the frequency must be above 0 Hz";
    return false;
  }
  if (!(band.q > 0.0)) {
    error = "Q must be above 0";
    return false;
  }
  return true;
}

}  // namespace

std::optional<PeqDesignFile> ParsePeqDesign(std::string_view text, std::string& error) {
  PeqDesignFile file;
  std::size_t rateLine = 0;
  std::size_t lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    const std::vector<std::string_view> fields = words(line);
    if (fields.empty() || fields[0].front() == '#') continue;

    std::string problem;
    if (fields[0] == "rate") {
      const std::optional<double> rate = fields.size() == 2 ? number(fields[1]) : std::nullopt;
      if (rateLine != 0) {
        problem = "the rate is already given on line " + std::to_string(rateLine);
      } else if (!rate) {
        problem = "a rate line is \"rate HZ\" with a decimal number";
      } else if (const std::string why = CheckPeqBand(PeqBand{}, *rate); !why.empty()) {
        problem = why;
      } else {
        file.rateHz = rate;
        rateLine = lineNumber;
      }
    } else if (fields[0] == "band") {
      std::size_t index = 0;
      PeqBand band;
      if (readBand(fields, index, band, problem)) {
        if (file.lines[index] != 0) {
          problem = "band " + std::to_string(index) + " is already set on line " + std::to_string(file.lines[index]);
        } else {
          file.design[index] = band;
          file.lines[index] = lineNumber;
        }
      }
    } else {
      problem = quoted(fields[0]) + " is neither \"rate\" nor \"band\"";
    }
    if (!problem.empty()) {
      error = "line " + std::to_string(lineNumber) + ": " + problem;
      return std::nullopt;
    }
  }
  // With the file's own rate, a frequency it cannot hold is refused now, with its line.
  if (file.rateHz) {
    for (std::size_t b = 0; b < kPeqBandCount; ++b) {
      if (const std::string why = CheckPeqBand(file.design[b], *file.rateHz); !why.empty()) {
        error = "line " + std::to_string(file.lines[b]) + ": " + why;
        return std::nullopt;
      }
    }
  }
  return file;
}

std::optional<PeqDesignFile> ReadPeqDesignFile(const std::string& path, std::string& error) {
  std::error_code failed;
  if (!std::filesystem::is_regular_file(path, failed)) {
    error = "cannot open " + path + (std::filesystem::exists(path, failed) ? ": it is not a file" : "");
    return std::nullopt;
  }
  if (std::filesystem::file_size(path, failed) > kLargestFile) {
    error = path + " is too large to be a design (over 1 MiB)";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return std::nullopt;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::optional<PeqDesignFile> file = ParsePeqDesign(text, error);
  if (!file) error = path + ", " + error;
  return file;
}

PeqRateChoice ChoosePeqRate(const PeqDesignFile& file, std::optional<double> chipRateHz) {
  if (file.rateHz && chipRateHz && *file.rateHz != *chipRateHz) {
    return {std::nullopt, PeqRateChoice::Problem::Conflict};
  }
  if (file.rateHz) return {file.rateHz, PeqRateChoice::Problem::None};
  if (chipRateHz) return {chipRateHz, PeqRateChoice::Problem::None};
  return {std::nullopt, PeqRateChoice::Problem::Missing};
}

PeqTableResult DesignPeqFile(const PeqDesignFile& file, double rateHz) {
  PeqTableResult result = DesignPeqTable(file.design, rateHz);
  if (!result.table && result.band < kPeqBandCount && file.lines[result.band] != 0) {
    result.error = "line " + std::to_string(file.lines[result.band]) + ": " + result.error;
  }
  return result;
}

std::string PeqDesignText(const PeqDesign& design, std::optional<double> rateHz) {
  std::string text = "# Parametric EQ design: band INDEX TYPE FREQUENCY_HZ GAIN_DB Q\n";
  if (rateHz) text += "rate " + FormatDecimal(*rateHz) + "\n";
  for (std::size_t b = 0; b < design.size(); ++b) {
    const PeqBand& band = design[b];
    text += "band " + std::to_string(b) + " " + std::string(PeqBandTypeName(band.type)) + " " +
            FormatDecimal(band.frequencyHz) + " " + FormatDecimal(band.gainDb) + " " + FormatDecimal(band.q) + "\n";
  }
  return text;
}

bool WritePeqDesignFile(const std::string& path, const PeqDesign& design, std::optional<double> rateHz,
                        std::string& error) {
  errno = 0;
  if (WriteFileAtomically(path, PeqDesignText(design, rateHz))) return true;
  error = "cannot write " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
  return false;
}

}  // namespace tonvisor
