#include <atomic>
#include <csignal>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include "files/Platform.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;

std::string gTemporary;  // what the handler removes
std::atomic<bool> gRan{false};

void removeTheTemporary() {
  removeFileOnInterrupt(gTemporary.c_str());
  gRan = true;
}

// An export's temporary (named in Japanese) is gone after Ctrl+C, and the
// interrupt still ends the program as it would have.
TEST(Interrupts, TheHandlerRemovesATemporaryAndTheInterruptStillEnds) {
  testing::TempDir dir;
  gTemporary = utf8Path(dir / "書き出し中.tmp");
  testing::writeBytes(pathFromUtf8(gTemporary), "x");
#ifdef _WIN32
  // A handler of the test's own, asked after ours, keeps this program running.
  const PHANDLER_ROUTINE keepRunning = [](DWORD) -> BOOL { return TRUE; };
  SetConsoleCtrlHandler(keepRunning, TRUE);
  onInterrupt(removeTheTemporary);
  const bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
  for (int i = 0; sent && i < 500 && !gRan; ++i) Sleep(10);
  restoreInterrupts();
  SetConsoleCtrlHandler(keepRunning, FALSE);
  if (!sent) GTEST_SKIP() << "no console to send Ctrl+C to (under Wine: run the program in a terminal)";
  EXPECT_TRUE(gRan);
#else
  EXPECT_EXIT(
      {
        onInterrupt(removeTheTemporary);
        std::raise(SIGINT);
      },
      ::testing::KilledBySignal(SIGINT), "");
#endif
  EXPECT_FALSE(fs::exists(pathFromUtf8(gTemporary)));
}

} // namespace
} // namespace tov
