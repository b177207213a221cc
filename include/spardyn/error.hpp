// The module's one error type.  Anything that goes wrong is thrown as a
// spardyn::Error; only the entry point turns it into a host error, after every
// destructor between the throw and the entry point has run.
#pragma once

#include <string>

namespace spardyn {

// The reason word that follows "VRK:spardyn:" in the host identifier.
enum class Reason {
  None,       // plain message, no identifier
  NonHandle,  // missing or invalid handle
  WrongSize,  // size or argument count
  Invalid,    // bad or inconsistent input
  Empty,      // missing data
  Conform,    // wrong integer class
};

class Error {
 public:
  Error(Reason reason, std::string message)
      : reason_(reason), message_(std::move(message)) {}

  // "VRK:spardyn:<Reason>", or "" for a plain message.
  std::string identifier() const;
  const std::string& message() const { return message_; }
  Reason reason() const { return reason_; }

 private:
  Reason reason_;
  std::string message_;
};

[[noreturn]] void fail(Reason reason, const std::string& message);

// A plain host error without identifier.
[[noreturn]] inline void fail(const std::string& message) {
  fail(Reason::None, message);
}

}  // namespace spardyn
