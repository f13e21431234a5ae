#pragma once
// A folder of its own for one test, removed with everything in it afterwards.
#include <filesystem>

namespace velbrook::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace velbrook::testing
