#pragma once

#include <QString>

#include "runner/link_runner.h"

namespace tonvisor {

class FileChooser;
class UnsavedLogQuestion;

// The file Chip Initialize runs unless the program is told otherwise.
inline constexpr const char* kDefaultInitScriptPath = "c:\\KRVL7300_CA1_Init_Script.txt";

// State the pages share for the whole run and never save. Config Clock sets the sample rate;
// the AVC page reads it.
struct PanelState {
  double systemSampleRate = 0.0;  // Hz; 0 until Config Clock has run
  // The Outputs page's DAC "Mute" is checked: whatever unmutes the DAC on its way (Config
  // Clock) leaves it muted at the end, as the box says.
  bool dacMuted = false;
};

// What every page is built from: the runner, its only road to the chip (a page never holds the
// link or the codec operations; its jobs get them on the link's thread), the shared state,
// how a page asks for a file, and how the main sheet asks about a log not saved at exit. The
// program makes these once at start-up; a test makes its own around a simulated or recording
// bridge. The state is the window's: a job that needs it captures its values.
struct PanelContext {
  LinkRunner& runner;
  PanelState& state;
  FileChooser& files;
  UnsavedLogQuestion& unsavedLog;
  QString initScriptPath = QString::fromLatin1(kDefaultInitScriptPath);
};

}  // namespace tonvisor
