#include "tools/script_file.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "codec/register_map.h"
#include "link/user_action.h"
#include "link/typed_text.h"
#include "tools/atomic_file.h"

namespace tonvisor {

namespace {

// The separator every run of comments gets ahead of it, the same one the codec operations
// put ahead of their own comments.
constexpr std::string_view kSeparator = "   \n";
constexpr std::string_view kFileDoesNotExist = "File Does Not Exist";
// Script lines have always been read 499 characters at a time; the rest of a longer line is
// read as the next line. Saved scripts and board procedures were written against that, so
// long lines keep splitting the same way.
constexpr std::size_t kLineReadLimit = 499;
// How much of a bad line is quoted back to the user.
constexpr std::size_t kQuotedLineLimit = 80;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The first three blank-separated fields of a line: keyword, register, value.
std::vector<std::string_view> firstFields(std::string_view line, std::size_t wanted) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (fields.size() < wanted) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i == line.size()) break;
    const std::size_t start = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool isWriteLine(std::string_view line) { return line.starts_with("Write") || line.starts_with("write"); }

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string withoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  std::string quoted(line.substr(0, kQuotedLineLimit));
  if (line.size() > kQuotedLineLimit) quoted += "...";
  return quoted;
}

std::string skippedLinesMessage(std::size_t firstLine, const std::string& firstText, std::size_t count) {
  std::string text = "Line " + std::to_string(firstLine) + " of the script was not run: \"" + firstText +
                     "\" needs a register and a hexadecimal value.";
  if (count == 1) {
    text += " Nothing was written for it.";
  } else {
    // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict overlap for
    // " " + std::to_string(count) + "...".
    text += ' ';
    text += std::to_string(count);
    text += " such write lines were skipped; nothing was written for them.";
  }
  return text;
}

std::string failedWritesMessage(const ScriptRunResult& result, const LinkSettings& settings) {
  const AccessTally& tally = result.accesses;
  std::string text = std::to_string(tally.failed) + " of " + std::to_string(tally.accesses) +
                     (tally.accesses == 1 ? " register write" : " register writes") +
                     " of the script did not reach the chip. The first, line " +
                     std::to_string(result.firstFailedLine) + " \"" + result.firstFailedText + "\": ";
  if (tally.firstFailure) text += DescribeFailure(*tally.firstFailure, settings);
  return text + ".";
}

}  // namespace

// Scripts saved on Windows end their lines with CR LF; that pair reads as one line end, so they
// run the same here and a comment keeps a plain "\n".
bool ScriptLineReader::next(std::string& line) {
  line.clear();
  while (line.size() < kLineReadLimit) {
    int c = std::getc(m_file);
    if (c == EOF) break;
    if (c == '\r') {
      const int following = std::getc(m_file);
      if (following == '\n') {
        c = '\n';
      } else if (following != EOF) {
        std::ungetc(following, m_file);
      }
    }
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !line.empty();
}

bool ScriptLineReader::failed() const { return std::ferror(m_file) != 0; }

ScriptLine ParseScriptLine(std::string_view line) {
  ScriptLine parsed;
  if (line.find('#') != std::string_view::npos) {
    parsed.kind = ScriptLine::Kind::Comment;
    return parsed;
  }
  if (!isWriteLine(line)) return parsed;
  parsed.kind = ScriptLine::Kind::MalformedWrite;
  const auto fields = firstFields(line, 3);
  if (fields.size() != 3) return parsed;
  const std::optional<std::uint16_t> value = ReadScriptHex16(fields[2]);
  if (!value) return parsed;
  if (fields[1].starts_with("0x") || fields[1].starts_with("0X")) {
    parsed.address = ReadScriptHex16(fields[1]);
    if (!parsed.address) return parsed;
  } else {
    parsed.registerName = fields[1];
  }
  parsed.kind = ScriptLine::Kind::Write;
  parsed.value = *value;
  return parsed;
}

std::string RenderLogEntry(const WriteLog::Entry& entry, WriteForm form) {
  if (!entry.isWrite()) {
    std::string text = entry.text;
    text += '\n';
    return text;
  }
  char buffer[96];
  const std::string write(WriteLog::kWriteText);
  if (form == WriteForm::Name) {
    if (const auto name = FindRegisterName(entry.address)) {
      std::snprintf(buffer, sizeof buffer, "%-8s\t%-40.*s\t0x%04X\n", write.c_str(), static_cast<int>(name->size()),
                    name->data(), static_cast<unsigned>(entry.value));
      return buffer;
    }
    // An address the map has no name for keeps the address form, so the entry still gives
    // one line: the view counts on one line per entry, and Save Script must not drop it.
  }
  std::snprintf(buffer, sizeof buffer, "%-8s0x%04X    0x%04X\n", write.c_str(), static_cast<unsigned>(entry.address),
                static_cast<unsigned>(entry.value));
  return buffer;
}

void RenderedLines::render(const WriteLog& log, std::size_t from, WriteForm form) {
  const std::size_t count = log.count();
  // Entries the table never held are rendered too, so no entry below the count is left
  // without its text.
  const std::size_t start = std::min({from, m_lines.size(), count});
  m_lines.resize(count);
  for (std::size_t i = start; i < count; ++i) m_lines[i] = RenderLogEntry(log.entry(i), form);
}

bool WriteScriptFile(const std::string& path, const RenderedLines& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += lines.at(i);
  return WriteFileAtomically(path, text);
}

ScriptRunResult RunScriptFile(DeviceLink& link, const std::string& path, const ScriptRunOptions& options) {
  UserAction action(link);
  ScriptRunResult result;
  Messenger& messenger = link.messenger();
  WriteLog& log = link.writeLog();

  std::error_code ignored;
  FilePtr file;
  if (!std::filesystem::is_directory(path, ignored)) file.reset(std::fopen(path.c_str(), "r"));
  if (!file) {
    if (options.linesDone) options.linesDone();
    messenger.show(kFileDoesNotExist, kApplicationTitle, options.owner);
    return result;
  }
  result.opened = true;

  ScriptLineReader reader(file.get());
  std::string line;
  bool previousWasComment = false;
  std::size_t lineNumber = 1;  // the file's own line, for telling the user where
  std::size_t firstSkippedLine = 0;
  std::string firstSkippedText;

  while (reader.next(line)) {
    const std::size_t thisLine = lineNumber;
    if (line.back() == '\n') ++lineNumber;

    const ScriptLine parsed = ParseScriptLine(line);
    if (parsed.kind == ScriptLine::Kind::Comment) {
      if (!previousWasComment) log.appendComment(kSeparator);
      log.appendComment(line);
      previousWasComment = true;
      ++result.comments;
    } else if (parsed.kind == ScriptLine::Kind::MalformedWrite) {
      // Nothing is written for a line that does not say what to write; the user hears about
      // it once, after the run.
      if (result.skipped++ == 0) {
        firstSkippedLine = thisLine;
        firstSkippedText = withoutLineEnd(line);
      }
      previousWasComment = false;
    } else if (parsed.kind == ScriptLine::Kind::Write) {
      // An unknown name is reported and nothing is written: the value is meant for a register
      // this chip does not have, not for register 0x0000.
      const std::optional<std::uint16_t> address =
          parsed.address ? parsed.address : FindRegisterAddress(parsed.registerName, messenger, options.owner);
      if (!address) {
        ++result.unknownRegisters;
      } else {
        if (!link.Write(*address, parsed.value).ok() && result.firstFailedLine == 0) {
          result.firstFailedLine = thisLine;
          result.firstFailedText = withoutLineEnd(line);
        }
        ++result.writes;
      }
      previousWasComment = false;
    }
    ++result.lines;
    if (options.progress && !options.progress(result.lines)) {
      result.cancelled = true;
      break;
    }
  }
  result.accesses = action.tally();
  if (options.linesDone) options.linesDone();
  if (!result.cancelled && reader.failed()) {
    result.readFailed = true;
    messenger.show("The script could not be read past line " + std::to_string(lineNumber) + "; the run stopped there.",
                   kApplicationTitle, options.owner);
  }
  if (result.skipped > 0) {
    result.firstSkippedLine = firstSkippedLine;
    messenger.show(skippedLinesMessage(firstSkippedLine, firstSkippedText, result.skipped), kApplicationTitle,
                   options.owner);
  }
  if (!result.accesses.allWentThrough()) {
    messenger.show(failedWritesMessage(result, link.settings()), kApplicationTitle, options.owner);
  }
  return result;
}

}  // namespace tonvisor
