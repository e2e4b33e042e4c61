// Error values and results. No exception crosses a module boundary: a
// failure travels as an Error inside a Result.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace mr {

// An error with a domain, a code and a human-readable description, as the
// program reports it to the listener and the log.
class Error {
 public:
  Error() = default;
  Error(std::string domain, int64_t code, std::string description, std::string failureReason = {})
      : domain_(std::move(domain)),
        code_(code),
        description_(std::move(description)),
        failureReason_(std::move(failureReason)) {}

  const std::string& domain() const { return domain_; }
  int64_t code() const { return code_; }
  const std::string& description() const { return description_; }
  const std::string& failureReason() const { return failureReason_; }

  // "domain code: description" for logs and the command line.
  std::string toString() const;

  bool operator==(const Error&) const = default;

 private:
  std::string domain_;
  int64_t code_ = 0;
  std::string description_;
  std::string failureReason_;
};

// Domains of errors the program makes itself.
inline constexpr const char* kMireluneErrorDomain = "mirelune";
inline constexpr const char* kPosixErrorDomain = "posix";
inline constexpr const char* kParseErrorDomain = "mirelune.parse";

// An error from errno, with what was being done.
Error posixError(int err, const std::string& what);

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value)
      : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const Error& error() const { return std::get<1>(state_); }

  T valueOr(T fallback) const& { return ok() ? value() : std::move(fallback); }

 private:
  std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return error_; }

 private:
  Error error_;
  bool failed_ = false;
};

using Status = Result<void>;

}  // namespace mr
