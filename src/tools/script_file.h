#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/access.h"
#include "link/device_link.h"

namespace tonvisor {

// How a logged register write is rendered: "Write   0x0022    0x1818" (address form) or
// "Write   \tCHIP_ANA_HP_CTRL_REG<padded to 40>\t0x1818" (name form).
enum class WriteForm { Address, Name };

// One log entry as a script line, with its line end. A comment is its text plus one more
// line end. In name form a write to an address the register map lacks renders in address
// form, so every entry gives exactly one line.
std::string RenderLogEntry(const WriteLog::Entry& entry, WriteForm form);

// The rendered text of every log entry, parallel to the log (what Save Script writes).
class RenderedLines {
 public:
  // Renders entries [from, log.count()) into their texts. Entries below from that the table
  // does not hold yet are rendered too, and texts beyond the count (an emptied log) dropped,
  // so the table always holds exactly one text per entry.
  void render(const WriteLog& log, std::size_t from, WriteForm form);
  void clear() { m_lines.clear(); }
  std::size_t size() const { return m_lines.size(); }
  const std::string& at(std::size_t index) const { return m_lines.at(index); }

 private:
  std::vector<std::string> m_lines;
};

// One line of a script as the reader understands it: a comment (any "#"), a write line
// ("Write" or "write" REGISTER VALUE, the register a 0x or 0X address or a name), a write line
// that does not say what to write, or a line the reader ignores.
struct ScriptLine {
  enum class Kind { Comment, Write, MalformedWrite, Ignored };
  Kind kind = Kind::Ignored;
  std::string_view registerName;         // Write by name: the name as written
  std::optional<std::uint16_t> address;  // Write by 0x address
  std::uint16_t value = 0;               // Write: the value
};
ScriptLine ParseScriptLine(std::string_view line);

// Reads a script's lines as the reader always has: at most 499 characters at a time (the
// rest of a longer line is the next line), the line end kept when it fits, CR LF read as one
// line end.
class ScriptLineReader {
 public:
  explicit ScriptLineReader(std::FILE* file) : m_file(file) {}
  // False at the end of the file (or on a read error, see failed()).
  bool next(std::string& line);
  bool failed() const;

 private:
  std::FILE* m_file;
};

// Writes the texts one after another, nothing between them, whole or not at all (see
// WriteFileAtomically). False when the file cannot be created or not all of it could be
// written; an old file is then left as it was (the caller tells the user " Error Creating File").
bool WriteScriptFile(const std::string& path, const RenderedLines& lines);

struct ScriptRunOptions {
  Owner owner;  // owns the run's messages
  // Called after each line with the number of lines done; returning false stops the run
  // after that line (what was done stays in the log).
  std::function<bool(std::size_t linesDone)> progress;
  // Called once the lines are done, before the run's closing messages (a progress window
  // closes here, so that it does not stay open behind them).
  std::function<void()> linesDone;
};

struct ScriptRunResult {
  bool opened = false;     // false: "File Does Not Exist" was shown, nothing ran
  bool cancelled = false;  // progress asked to stop
  std::size_t lines = 0;
  std::size_t writes = 0;
  std::size_t comments = 0;
  std::size_t skipped = 0;  // malformed write lines, reported once, nothing written for them
  std::size_t unknownRegisters = 0;  // write lines naming no register of the chip: told, not written
  std::size_t firstSkippedLine = 0;  // the file's line number of the first of them (0: none)
  bool readFailed = false;           // the file stopped reading before its end (reported)
  AccessTally accesses;              // every register write the run made, and how many failed
  std::size_t firstFailedLine = 0;   // the file's line number of the first write that failed (0: none)
  std::string firstFailedText;       // that line, without its line end

  // Whether the run did all it was asked: opened, read to its end, every write line
  // understood and every write through to the chip.
  bool allWentThrough() const {
    return opened && !cancelled && !readFailed && skipped == 0 && unknownRegisters == 0 && accesses.allWentThrough();
  }
};

// Reads and runs one script: comment lines (any "#") go to the log with a separator ahead of
// each run of comments, write lines ("Write"/"write" REGISTER VALUE) go through
// WriteRegister, everything else is ignored. A register name the chip does not have is told
// ("Invalid Register Name in the Script") and nothing is written for its line. Lines are read 499 characters at a time (the
// rest of a longer line is the next line); CR LF reads as one line end. A write line without
// a register and a 16-bit hexadecimal value writes nothing; such lines are counted and told
// once, after the run. The run is one user action: each distinct message is shown once, and
// when writes did not reach the chip the run ends with one message that counts them and
// names the first (its line and why). Messages go through link.messenger() with the options'
// owner.
ScriptRunResult RunScriptFile(DeviceLink& link, const std::string& path, const ScriptRunOptions& options);

}  // namespace tonvisor
