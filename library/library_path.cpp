#include "library/library_path.h"

#include <cstdlib>

namespace novel {

std::filesystem::path defaultLibraryPath() {
    std::filesystem::path data;
    // Qt ignores a relative XDG_DATA_HOME, as the XDG rules ask.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        data = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        data = std::filesystem::path(home) / ".local" / "share";
    } else {
        return {};
    }
    return data / kApplicationName / "library.db";
}

}  // namespace novel
