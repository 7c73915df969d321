#pragma once
namespace tov {
// Starts the desktop application (main window, event loop); the exit code.
int runDesktopApplication(int argc, char** argv);
} // namespace tov
