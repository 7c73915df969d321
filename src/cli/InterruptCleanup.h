#pragma once
// The temporary files of an export are removed when the program is
// interrupted or hung up (SIGHUP, SIGINT, SIGQUIT, SIGTERM; Ctrl+C, Ctrl+Break
// or a closed console on Windows) while they exist: the interrupt's handler
// removes them and then lets the interrupt end the process as it would have.
// An interrupt that was ignored when the guard was made stays ignored.
#include <string>
#include <vector>

namespace tov {

class InterruptCleanup {
public:
  InterruptCleanup();
  // Forgets this guard's files and, as the last guard, puts the previous
  // handlers back.
  ~InterruptCleanup();
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;

  // A file to remove if the program is interrupted.
  void add(const std::string& path);
  // The file open on the descriptor (for a temporary that a library named
  // itself); nothing happens when the name cannot be found.
  void addOpenFile(int fd);
  // The file was renamed into place or removed: it is no longer removed.
  void forget(const std::string& path);

private:
  std::vector<std::string> paths_;  // forgotten when the guard ends
};

} // namespace tov
