#pragma once

#include <string>
#include <string_view>

namespace tonvisor {

// Puts bytes into the file at path so that it holds either all of them or what it held
// before: they go to a new file beside it, which is flushed to the disk and then renamed over
// the old one. A full disk, an I/O error or a path that cannot take a file leaves any old file
// as it was, no temporary file behind, and gives false. A file that existed keeps its
// permissions; a symbolic link stays one and the file it names is replaced.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace tonvisor
