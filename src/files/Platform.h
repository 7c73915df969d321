#pragma once
// The stand-in for the Windows drives and directory on this platform.
//
// Paths in the program's own files keep their Windows form ("D:\Data\Tov5").
// Each drive letter X maps to the folder X under one root directory:
// $TOV_ROOT when set, else $XDG_DATA_HOME/tov/drives, else
// ~/.local/share/tov/drives. The Windows directory is "C:\WINDOWS".
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tov {

// The root under which the drive folders lie (read from the environment at
// each call, so tests can change TOV_ROOT).
std::filesystem::path driveRoot();

// "C:\WINDOWS".
std::string windowsDirectory();

// The current directory in Windows form: "D:\work\tests" when the current
// directory lies under drive folder D of the root, otherwise the Windows
// directory's drive ("C:\").
std::string currentDirectory();

// "D:\Data\Sys.ndx" -> <root>/D/Data/Sys.ndx. A path without a drive letter
// is taken as a host path as it stands.
std::filesystem::path hostPath(std::string_view windowsPath);

// The Windows form of a host path under the root, or nothing when it lies
// outside the root.
std::optional<std::string> windowsPathOf(const std::filesystem::path& host);

} // namespace tov
