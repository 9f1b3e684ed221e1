#pragma once
// The base of the program's exceptions: a message, as the class library's Exception carries one.
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A failed call of the operating system, with its error code (an errno value).
class EOSError : public Exception {
public:
  EOSError(const std::string& message, int code) : Exception(message), ErrorCode(code) {}
  int ErrorCode;
};
