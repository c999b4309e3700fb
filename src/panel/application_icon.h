#pragma once

#include <QIcon>

namespace tonvisor {

// The program's icon, drawn rather than loaded so the program needs no image files: a chip
// with a sound wave across it.
QIcon ApplicationIcon();

}  // namespace tonvisor
