#pragma once
namespace tov {
// The version line of the About box and of --version.
inline constexpr const char* kVersionLine = "Tov Version 5  R102";
// Starts the desktop application (main window, event loop); the exit code.
int runDesktopApplication(int argc, char** argv);
} // namespace tov
