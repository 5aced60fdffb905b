#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace postrider {

// An address the user wrote with merge fields in it (an unsubscribe link, say),
// made ready once a run: its own text escaped for a URI, each field's value
// percent-encoded as each recipient's message is made, so a value can add
// nothing to the address but its own text.
class AddressTemplate {
 public:
  AddressTemplate() = default;
  // `written` is UTF-8; fieldNames are the list's, UTF-8.
  AddressTemplate(std::string_view written, const std::vector<std::string>& fieldNames);

  bool empty() const { return pieces_.empty(); }
  // The address with values (in list field order); a value the record lacks is empty.
  void Fill(const std::vector<std::string>& values, std::string& out) const;

 private:
  struct Piece {
    std::string text;  // the escaped text, when field is -1
    int field = -1;
  };
  std::vector<Piece> pieces_;
};

}  // namespace postrider
