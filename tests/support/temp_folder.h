#pragma once

#include <string>
#include <string_view>

namespace pelmora::testing {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. Tests use real files in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(std::string_view name) const;
  // Writes `content` to the named file as it is (no line-end conversion).
  void write(std::string_view name, std::string_view content) const;
  // The whole file, or "<missing>" when it cannot be read.
  std::string read(std::string_view name) const;
  bool has(std::string_view name) const;

 private:
  std::string path_;
};

}  // namespace pelmora::testing
