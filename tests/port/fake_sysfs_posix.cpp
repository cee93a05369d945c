#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "fake_sysfs.h"

namespace {

void MakeParents(const std::string& path) {
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
    mkdir(path.substr(0, at).c_str(), 0755);
  }
}

int RemoveOne(const char* path, const struct stat*, int, FTW*) {
  return remove(path);
}

}  // namespace

FakeSysfs::FakeSysfs(const std::vector<FakeEntry>& entries) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/sysfsXXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  root_ = pattern;
  for (const FakeEntry& e : entries) {
    std::string full = root_ + "/" + e.path;
    MakeParents(full);
    if (e.content == "/") {
      mkdir(full.c_str(), 0755);
    } else if (e.content.rfind("->", 0) == 0) {
      if (symlink(e.content.substr(2).c_str(), full.c_str()) != 0)
        throw std::runtime_error("symlink");
    } else {
      FILE* f = std::fopen(full.c_str(), "w");
      if (f == nullptr) throw std::runtime_error("fopen " + full);
      (void)std::fputs(e.content.c_str(), f);
      (void)std::fclose(f);
    }
  }
}

FakeSysfs::~FakeSysfs() {
  nftw(root_.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}
