// A worker still writing through a static when the process ends. The test
// runs this program again as the child: its one case starts the worker and
// ends the process while the worker writes.
#include "app/frontend/exit_leaving_statics.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "testing/temp_folder.h"

namespace kestrune {
namespace {

const char kChildJournal[] = "KESTRUNE_EXIT_CHILD_JOURNAL";
const char kChildEnd[] = "KESTRUNE_EXIT_CHILD_END";  // "leave" or "exit"
constexpr int kQuitCode = 2;

// A static the worker writes through, as the program's run log is: its
// destructor says so in the journal and stops taking lines.
class Journal {
 public:
  void Open(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = std::fopen(path.c_str(), "a");
  }
  void Write(const char* line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr) return;
    std::fprintf(file_, "%s\n", line);
    std::fflush(file_);
  }
  ~Journal() {
    Write("destroyed");
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }

 private:
  std::mutex mutex_;
  FILE* file_ = nullptr;
};
Journal journal;

TEST(ExitLeavingStaticsChild, EndsWhileTheWorkerWrites) {
  const char* path = std::getenv(kChildJournal);
  const char* end = std::getenv(kChildEnd);
  if (path == nullptr || end == nullptr) GTEST_SKIP() << "run by the test below";
  journal.Open(path);
  std::atomic<int> written{0};
  std::thread([&written] {
    for (;;) {
      journal.Write("worker");
      ++written;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }).detach();
  while (written < 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (std::string(end) == "leave") ExitLeavingStatics(kQuitCode);
  std::exit(kQuitCode);  // how a program's end would otherwise go
}

struct ChildEnd {
  DWORD exitCode;
  std::string journal;
};

ChildEnd RunChild(const std::string& end) {
  testing_support::TempFolder folder("exit-child");
  const std::string journalPath = (folder.path() / "journal.txt").string();
  SetEnvironmentVariableA(kChildJournal, journalPath.c_str());
  SetEnvironmentVariableA(kChildEnd, end.c_str());
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring commandLine =
      L"\"" + std::wstring(self) + L"\" --gtest_filter=ExitLeavingStaticsChild.*";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process);
  SetEnvironmentVariableA(kChildJournal, nullptr);
  SetEnvironmentVariableA(kChildEnd, nullptr);
  EXPECT_TRUE(started);
  if (!started) return {};
  ChildEnd result{};
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::ifstream in(journalPath);
  std::stringstream text;
  text << in.rdbuf();
  result.journal = text.str();
  return result;
}

TEST(ExitLeavingStatics, EndsWithTheCodeAndNoStaticIsDestroyedUnderTheWorker) {
  const ChildEnd child = RunChild("leave");
  EXPECT_EQ(child.exitCode, static_cast<DWORD>(kQuitCode));
  EXPECT_NE(child.journal.find("worker\n"), std::string::npos) << child.journal;
  EXPECT_EQ(child.journal.find("destroyed"), std::string::npos) << child.journal;
}

// What the first test guards against: an ordinary end destroys the static
// while the worker still writes through it.
TEST(ExitLeavingStatics, AnOrdinaryEndDestroysTheStaticUnderTheWorker) {
  const ChildEnd child = RunChild("exit");
  EXPECT_EQ(child.exitCode, static_cast<DWORD>(kQuitCode));
  EXPECT_NE(child.journal.find("destroyed"), std::string::npos) << child.journal;
}

}  // namespace
}  // namespace kestrune
