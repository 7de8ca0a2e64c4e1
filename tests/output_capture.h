// Captures everything the program writes to standard output, at the descriptor, so the bytes are
// exactly those that would leave the program, CR LF line ends included.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/platform.h"
#include "support/text.h"

class OutputCapture {
 public:
  OutputCapture() {
    platform::SetUpStandardOutput();
    std::cout.clear();
    // What the test runner printed so far leaves before the descriptor is taken over.
    std::fflush(stdout);
    std::cout.flush();
    file_ = std::tmpfile();
    saved_ = dup(STDOUT_FILENO);
    dup2(fileno(file_), STDOUT_FILENO);
  }
  ~OutputCapture() { Finish(); }

  std::string Finish() {
    if (file_ == nullptr) return text_;
    std::cout.flush();
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    std::rewind(file_);
    char chunk[4096];
    while (std::size_t const read = std::fread(chunk, 1, sizeof chunk, file_))
      text_.append(chunk, read);
    std::fclose(file_);
    file_ = nullptr;
    return text_;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
  std::string text_;
};
