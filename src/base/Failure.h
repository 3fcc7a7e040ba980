// How the core tells the window that something outside the program let it down: what
// failed and the system's own words for why. The window decides what the operator sees.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace base {

struct Failure {
  enum class Kind {
    CardLibraryMissing,  // subject: the library's path
    EntryPointMissing,   // subject: the entry point's name
    FileNotWritten,      // subject: the file's path
    OutOfMemory,         // subject: what needed the memory
    ProfileRefused,      // subject: the self-test profile; reason: its line and key
    ResultsNotStored,    // subject: the results database's path
  };
  Kind kind;
  std::string subject;
  std::string reason;  // dlerror(), strerror() and the like; may be empty
};

// A value, or the failure that prevented it. Result<> carries no value.
template <typename T = std::monostate>
class [[nodiscard]] Result {
 public:
  Result() requires std::is_same_v<T, std::monostate> : state_(T{}) {}
  Result(T value) : state_(std::move(value)) {}
  Result(Failure failure) : state_(std::move(failure)) {}

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  const T& value() const {
    assert(ok());
    return std::get<T>(state_);
  }
  T& value() {
    assert(ok());
    return std::get<T>(state_);
  }
  // The value, or `fallback` when there is none.
  T value_or(T fallback) const { return ok() ? std::get<T>(state_) : std::move(fallback); }
  const Failure& failure() const {
    assert(!ok());
    return std::get<Failure>(state_);
  }

 private:
  std::variant<T, Failure> state_;
};

}  // namespace base
