#pragma once
#include "TovVersion.h"
namespace tov {
// The version line of the About box and of --version (from the project's
// version in CMakeLists.txt).
inline constexpr const char* kVersionLine = TOV_VERSION_LINE;
// Starts the desktop application (main window, event loop); the exit code.
int runDesktopApplication(int argc, char** argv);
} // namespace tov
