#pragma once
// Where the library lives when nobody says otherwise: library.db in the program's data folder,
// the same folder the windowed program gets from Qt (AppDataLocation of "novelreader"), found here
// without Qt so the command-line tool shares the program's library.

#include <filesystem>
#include <string_view>

namespace novel {

// The application name the windowed program runs under (its executable's name).
inline constexpr std::string_view kApplicationName = "novelreader";

// $XDG_DATA_HOME/novelreader/library.db when XDG_DATA_HOME is an absolute path, else
// $HOME/.local/share/novelreader/library.db; empty when neither variable says where.
std::filesystem::path defaultLibraryPath();

}  // namespace novel
