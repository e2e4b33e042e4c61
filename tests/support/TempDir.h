// A fresh folder under the system's temporary folder, removed afterwards.
#pragma once

#include <string>

namespace mr::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes `contents` to `path`, creating nothing else.
void writeFile(const std::string& path, const std::string& contents);

}  // namespace mr::test
