#pragma once

#include <QString>

namespace tonvisor {

class MainSheet;

// Shows the sheet, works each page the way a user would (connect, run the init script,
// program the clocks, write and read registers) and saves a PNG of every page into dir.
// False when a picture could not be saved.
bool TakeScreenshots(MainSheet& sheet, const QString& dir);

}  // namespace tonvisor
