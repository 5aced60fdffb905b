#pragma once

#include <string>
#include <string_view>

namespace postrider {

// A password held in memory: its bytes are wiped when it goes, and it has no
// way to be printed or compared by accident.
class Secret {
 public:
  Secret() = default;
  explicit Secret(std::string value) : value_(std::move(value)) {}
  ~Secret();
  Secret(Secret&& other) noexcept;
  Secret& operator=(Secret&& other) noexcept;
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;

  bool empty() const { return value_.empty(); }
  std::string_view reveal() const { return value_; }
  void Clear();

 private:
  std::string value_;
};

// Overwrites the bytes of a buffer that held a secret (or something made
// from one, such as its base64 form), then empties it.
void WipeString(std::string& text);

}  // namespace postrider
