// A sysfs tree in a temporary folder, built from a list of entries.
#pragma once

#include <string>
#include <vector>

struct FakeEntry {
  std::string path;     // relative to the root
  std::string content;  // "/" a folder, "->target" a symbolic link, else a file's text
};

class FakeSysfs {
 public:
  explicit FakeSysfs(const std::vector<FakeEntry>& entries);
  ~FakeSysfs();
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;
  const char* Root() const { return root_.c_str(); }

 private:
  std::string root_;
};
