// The root of every error this system raises, and the framework's own error classes. Each
// class reports its run-time class name, which the program prints with the message.
#pragma once

#include <exception>
#include <string>

namespace tabshift {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  virtual const char* ClassName() const { return "Exception"; }

 private:
  std::string message_;
};

// Declares an error class `Name` derived from `Base` that reports "Name" as its class name.
#define TABSHIFT_DECLARE_EXCEPTION(Name, Base)               \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

// Framework errors.
TABSHIFT_DECLARE_EXCEPTION(EDatabaseError, Exception);
TABSHIFT_DECLARE_EXCEPTION(EConvertError, Exception);
TABSHIFT_DECLARE_EXCEPTION(EOutOfMemory, Exception);
TABSHIFT_DECLARE_EXCEPTION(EComponentError, Exception);
TABSHIFT_DECLARE_EXCEPTION(EStringListError, Exception);
TABSHIFT_DECLARE_EXCEPTION(EStreamError, Exception);
TABSHIFT_DECLARE_EXCEPTION(EReadError, EStreamError);
TABSHIFT_DECLARE_EXCEPTION(EWriteError, EStreamError);
TABSHIFT_DECLARE_EXCEPTION(EFileStreamError, EStreamError);
TABSHIFT_DECLARE_EXCEPTION(EFCreateError, EFileStreamError);
TABSHIFT_DECLARE_EXCEPTION(EFOpenError, EFileStreamError);
TABSHIFT_DECLARE_EXCEPTION(EInOutError, Exception);

// A failed assertion: "<text> (<unit>, line <line>)".
class EAssertionFailed : public Exception {
 public:
  EAssertionFailed(const std::string& text, const std::string& unit, int line);
  const char* ClassName() const override { return "EAssertionFailed"; }
};

}  // namespace tabshift
