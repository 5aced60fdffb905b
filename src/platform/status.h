#pragma once

#include <optional>
#include <string>
#include <utility>

namespace postrider {

// The outcome of an operation the user may have to hear about: success, or
// a message that says what failed and why.
class Status {
 public:
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !message_.has_value(); }
  explicit operator bool() const { return ok(); }
  const std::string& message() const {
    static const std::string kEmpty;
    return message_ ? *message_ : kEmpty;
  }

 private:
  Status() = default;
  explicit Status(std::string message) : message_(std::move(message)) {}
  std::optional<std::string> message_;
};

// A value, or the Status that says why there is none.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)), status_(Status::Ok()) {}  // NOLINT
  // Only a failure makes a result without a value; an ok Status passed on
  // unchecked would otherwise be a success that holds nothing.
  Result(Status error)  // NOLINT
      : status_(error.ok() ? Status::Error("Internal error: a result without a value")
                           : std::move(error)) {}

  bool ok() const { return status_.ok(); }
  explicit operator bool() const { return ok(); }
  const Status& status() const { return status_; }
  const T& value() const& { return *value_; }
  T& value() & { return *value_; }
  T&& value() && { return std::move(*value_); }
  const T& operator*() const& { return *value_; }
  T& operator*() & { return *value_; }
  const T* operator->() const { return &*value_; }
  T* operator->() { return &*value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace postrider
