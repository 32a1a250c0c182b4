#include "support/temp_folder.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pelmora::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("pelmora-test-" + std::to_string(stamp) +
                                                      "-" + std::to_string(counter.fetch_add(1)));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code error;
  // Tests may leave read-only folders behind; give the owner write access back first.
  for (auto it = fs::recursive_directory_iterator(path_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(path_, error);
}

std::string TempFolder::file(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

void TempFolder::write(std::string_view name, std::string_view content) const {
  std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write test file " + std::string(name));
}

std::string TempFolder::read(std::string_view name) const {
  std::ifstream in(file(name), std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool TempFolder::has(std::string_view name) const {
  return fs::exists(file(name));
}

}  // namespace pelmora::testing
