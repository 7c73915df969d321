#pragma once
// Starting the window from the command line: the arguments are checked
// before anything needs a display, and a missing display is said in one
// line rather than by Qt's abort.
#include <optional>
#include <string>
#include <vector>

namespace tov {

// The test file a window start opens ("" for a new test) from the arguments
// without the program name: at most one file; "--" ends the options, so
// that a file name may begin with "-". Nothing, with *error set, for any
// option or a second file.
std::optional<std::string> parseWindowArguments(const std::vector<std::string>& args, std::string* error);

// Whether the window could reach a display: a display named in the
// environment, or a platform chosen there (which then decides).
bool displayNamed();

// The one line said when the window cannot reach a display.
inline constexpr const char* kNoDisplayLine =
    "tov: 画面(ディスプレイ)に接続できないため、ウィンドウを開けません. "
    "画面なしの書き出しは tov --help を見てください.\n";

// Prints "tov: ERROR", a blank line and the usage to standard error; the
// exit status of a bad command line (2).
int reportUsageError(const std::string& error);

} // namespace tov
