// The one exception type of ZqRunner: a readable message and, when there is one, the
// Win32 error code that caused it.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

class TRunnerError : public std::runtime_error {
 public:
  explicit TRunnerError(const std::string& message, uint32_t code = 0)
      : std::runtime_error(message), code_(code) {}
  uint32_t Code() const { return code_; }

 private:
  uint32_t code_;
};
