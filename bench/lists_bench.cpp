// What one played episode costs the list files: the network list is rewritten with the episode at
// the top and its page rendered. Runs on real files in a temporary folder, so the figures include
// the flushes to disk that every atomic rewrite makes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "lists/list_files.h"
#include "lists/list_pages.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;
using namespace pelmora;

constexpr int kRecords = 101;

class BenchFolder {
 public:
  BenchFolder() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = (fs::temp_directory_path() / ("pelmora-bench-" + std::to_string(stamp))).string();
    fs::create_directories(path_);
  }
  ~BenchFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string network_record(int id) {
  return std::to_string(id) + "|%u7B2C" + std::to_string(id) +
         "%u96C6%20%u4E00%u4E8C%u4E09%u56DB%u4E94%u516D%u4E03%u516B%u4E5D%u5341|%u7B2C" +
         std::to_string(id) + "%u96C6|qvod%3A//123456789%7CABCDEF0123456789%7Cepisode.rmvb%7C/|7|" +
         std::to_string(id) + "|0";
}

std::string full_list() {
  std::string list;
  for (int id = 1; id <= kRecords; ++id) list += network_record(id) + "\r\n";
  return list + "\r\n";
}

void BM_AddTaskThenRender(benchmark::State& state) {
  BenchFolder folder;
  const lists::ListPlace place{folder.path(), nullptr};
  if (!platform::files::write_atomic(platform::files::join(folder.path(), lists::kNetworkList),
                                     full_list())) {
    state.SkipWithError("cannot write the list");
    return;
  }
  std::int64_t id = 0;
  for (auto _ : state) {
    // Cycles through the identifiers already listed, so every add moves an entry to the top and
    // the list stays at 101 records.
    id = id % kRecords + 1;
    const bool added = lists::add_task(place, id, "%u7B2C%u4E00%u96C6", "%u7B2C%u4E00%u96C6",
                                       "qvod%3A//1%7C2%7Cx.rmvb%7C/", 7, id, 0);
    const bool rendered = lists::render_list(place, lists::kNetworkList);
    if (!added || !rendered) {
      state.SkipWithError("a rewrite failed");
      break;
    }
  }
}
BENCHMARK(BM_AddTaskThenRender)->Unit(benchmark::kMillisecond)->UseRealTime();

// The page text alone, without any file access: the part of the work that is not the disk's.
void BM_PageText(benchmark::State& state) {
  const std::string list = full_list();
  for (auto _ : state) benchmark::DoNotOptimize(lists::page_text(list, false));
}
BENCHMARK(BM_PageText)->Unit(benchmark::kMicrosecond);

// One atomic rewrite of a page-sized file: the cost each of the three rewrites above pays.
void BM_WriteAtomic(benchmark::State& state) {
  BenchFolder folder;
  const std::string path = platform::files::join(folder.path(), "c.htm");
  const std::string page = lists::page_text(full_list(), false);
  for (auto _ : state) {
    if (!platform::files::write_atomic(path, page)) {
      state.SkipWithError("cannot write");
      break;
    }
  }
}
BENCHMARK(BM_WriteAtomic)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
