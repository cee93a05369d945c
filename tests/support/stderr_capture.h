// Standard error into a file of the test's own until Text() gives it back,
// for the console's output queue to write to as to a real standard error.
#pragma once

#ifndef _WIN32
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace plc {

class StderrCapture {
 public:
  explicit StderrCapture(const std::string& path) : path_(path) {
    FILE* file = std::fopen(path.c_str(), "w");
    ok_ = file != nullptr && saved_ >= 0 && dup2(fileno(file), 2) != -1;
    if (file != nullptr) (void)std::fclose(file);
  }
  ~StderrCapture() { Text(); }
  bool ok() const { return ok_; }
  std::string Text() {
    if (saved_ >= 0) dup2(saved_, 2), close(saved_), saved_ = -1;
    std::ifstream in(path_);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  std::string path_;
  int saved_ = dup(2);
  bool ok_;
};

}  // namespace plc
#endif
