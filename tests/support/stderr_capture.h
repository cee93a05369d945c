// Standard error into a file of the test's own, for the console's output
// queue to write to as to a real standard error.
#pragma once

#ifndef _WIN32
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace plc {

class StderrCapture {
 public:
  explicit StderrCapture(const char* name)
      : path_(::testing::TempDir() + name), saved_(dup(2)), file_(std::fopen(path_.c_str(), "w+")) {
    ok_ = saved_ >= 0 && file_ != nullptr && dup2(fileno(file_), 2) != -1;
  }
  ~StderrCapture() {
    Restore();
    if (file_ != nullptr) (void)std::fclose(file_);
  }
  bool ok() const { return ok_; }
  // Gives standard error back and what was written to it.
  std::string Text() {
    Restore();
    std::ifstream in(path_);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }
  std::string path_;
  int saved_;
  FILE* file_;
  bool ok_ = false;
};

}  // namespace plc
#endif
