// Shows log messages on standard error, for a person or a scheduler that
// started a command-line run: "Lorvant: " and the message, one per line.
#pragma once

#include <cstdio>
#include <string>

#include "log/LogAppender.h"

namespace lorvant {

class TConsoleLogAppender : public TLogAppender {
 public:
  // The level prefix ("[error]\t") is left out.
  void Append(const std::string& text) override {
    size_t tab = text.find('\t');
    std::string message = tab == std::string::npos ? text : text.substr(tab + 1);
    std::fprintf(stderr, "Lorvant: %s\n", message.c_str());
  }
};

}  // namespace lorvant
