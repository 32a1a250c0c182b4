#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/process_table.h"

namespace pelmora::platform {
namespace {

class FakeProcessTable : public platform::ProcessTable {
 public:
  explicit FakeProcessTable(std::vector<platform::ProcessInfo> processes)
      : processes_(std::move(processes)) {}
  std::vector<platform::ProcessInfo> list() override { return processes_; }
  bool terminate(int) override { return false; }

 private:
  std::vector<platform::ProcessInfo> processes_;
};

TEST(FindProcess, GivesTheFirstProcessWhoseNameContainsTheTextOrZero) {
  FakeProcessTable table({{12, "bash", "/bin/bash"},
                          {40, "QvodPlayer.exe", ""},
                          {41, "QvodTerminal.exe", ""},
                          {57, "QvodTerminal.exe", ""}});
  const std::pair<const char*, int> cases[] = {
      {"QvodTerminal.exe", 41}, {"Qvod", 40},      {"Terminal", 41}, {"qvodplayer.exe", 0},
      {"/bin/bash", 0},         {"QvodInsert", 0}, {"", 0},  // every name contains the empty text;
                                                             // no process is meant by it
  };
  for (const auto& [name, pid] : cases) EXPECT_EQ(find_process(table, name), pid) << name;
  FakeProcessTable none({});
  EXPECT_EQ(find_process(none, "QvodTerminal.exe"), 0);
}

}  // namespace
}  // namespace pelmora::platform
