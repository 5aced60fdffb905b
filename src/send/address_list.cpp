#include "send/address_list.h"

#include "project/address_check.h"
#include "smtp/envelope_address.h"
#include "smtp/smtp_wording.h"

namespace postrider {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A value shown in an error stays on its line.
std::string Quoted(std::string_view text) {
  std::string shown = PrintableText(text);
  for (char& c : shown) {
    if (c == '\n') c = '?';
  }
  return "\"" + shown + "\"";
}

// A name as written, without the quotes around it and their backslashes.
std::string Unquoted(std::string_view name) {
  if (name.size() < 2 || name.front() != '"' || name.back() != '"') return std::string(name);
  std::string plain;
  for (std::size_t i = 1; i + 1 < name.size(); ++i) {
    if (name[i] == '\\' && i + 2 < name.size()) ++i;
    plain += name[i];
  }
  return plain;
}

Result<ListedAddress> ParseItem(std::string_view item) {
  const std::size_t open = item.find('<');
  if (open == std::string_view::npos) {
    if (item.find('>') != std::string_view::npos) {
      return Status::Error(Quoted(item) + " has a '>' without its '<'.");
    }
    return ListedAddress{"", std::string(item)};
  }
  const std::size_t close = item.find('>', open);
  if (close == std::string_view::npos) {
    return Status::Error(Quoted(item) + " has a '<' that is not closed.");
  }
  if (!Trimmed(item.substr(close + 1)).empty()) {
    return Status::Error(Quoted(item) + " has text after its address.");
  }
  ListedAddress listed;
  listed.name = Unquoted(Trimmed(item.substr(0, open)));
  listed.address = std::string(Trimmed(item.substr(open + 1, close - open - 1)));
  if (listed.address.empty()) return Status::Error(Quoted(item) + " has no address.");
  return listed;
}

}  // namespace

Result<std::vector<ListedAddress>> ParseAddressList(std::string_view value) {
  std::vector<ListedAddress> addresses;
  bool inQuotes = false;
  bool inAngle = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= value.size(); ++i) {
    const bool end = i == value.size();
    const char c = end ? ',' : value[i];
    if (inQuotes) {
      if (end) return Status::Error(Quoted(value) + " has a '\"' that is not closed.");
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inQuotes = false;
      }
      continue;
    }
    if (c == '"' && !inAngle) {
      inQuotes = true;
    } else if (c == '<') {
      inAngle = true;
    } else if (c == '>') {
      inAngle = false;
    } else if ((c == ',' || c == ';') && (!inAngle || end)) {
      const std::string_view item = Trimmed(value.substr(start, i - start));
      start = i + 1;
      if (item.empty()) continue;
      Result<ListedAddress> listed = ParseItem(item);
      if (!listed) return listed.status();
      addresses.push_back(std::move(*listed));
    }
  }
  if (inQuotes) return Status::Error(Quoted(value) + " has a '\"' that is not closed.");
  return addresses;
}

Status CheckUsableAddress(std::string_view address) {
  const std::string shown = Quoted(address);
  if (!IsValidAddress(address)) return Status::Error(shown + " is not a valid e-mail address.");
  if (!IsSafeEnvelopeAddress(address)) {
    return Status::Error(shown + " holds characters that cannot go into a mail command.");
  }
  if (Result<EnvelopeAddress> envelope = PrepareEnvelopeAddress(address); !envelope) {
    return envelope.status();
  }
  return Status::Ok();
}

}  // namespace postrider
