#include "send/letter_headers.h"

#include "send/header_lines.h"
#include "send/merge_fields.h"
#include "send/mime_encoding.h"
#include "smtp/envelope_address.h"

namespace postrider {

namespace {

// Lines are folded before they pass this, where they can be.
constexpr std::size_t kFoldAt = 76;
// Encoded words start on a line that holds at most this much.
constexpr std::size_t kMaxEncodedWordStart = 50;
// A longer name goes as encoded words, which fold, so no line grows too long.
constexpr std::size_t kMaxQuotedName = 300;

// Appends one mailbox to a line that holds `lineUsed` bytes; returns the
// length of the last line it wrote on.
std::size_t AppendMailbox(const ListedAddress& mailbox, std::size_t lineUsed, std::string& out) {
  const std::string name = HeaderText(mailbox.name);
  const std::string address = "<" + AddressWithAsciiDomain(HeaderText(mailbox.address)) + ">";
  if (name.empty()) {
    out += address.substr(1, address.size() - 2);
    return lineUsed + address.size() - 2;
  }
  std::size_t used = lineUsed;
  if (NeedsEncodedWords(name) || name.size() > kMaxQuotedName) {
    used = AppendEncodedWords(name, CharsetOf(name), lineUsed, out);
  } else if (IsPlainPhrase(name)) {
    out += name;
    used += name.size();
  } else {
    const std::size_t before = out.size();
    AppendQuotedString(name, out);
    used += out.size() - before;
  }
  if (used + address.size() + 1 > kFoldAt) {
    out += "\r\n";
    used = 0;
  }
  out += ' ';
  out += address;
  return used + 1 + address.size();
}

}  // namespace

void AppendCcLine(const std::vector<ListedAddress>& addresses, std::string& out) {
  if (addresses.empty()) return;
  out += "Cc: ";
  std::size_t used = 4;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    if (i > 0) {
      out += ',';
      ++used;
      // A new line for each address that would not fit; encoded words need
      // room to start on their line.
      const std::size_t wanted = addresses[i].name.size() + addresses[i].address.size() + 4;
      if (used + wanted > kFoldAt || used + 1 > kMaxEncodedWordStart) {
        out += "\r\n";
        used = 0;
      }
      out += ' ';
      ++used;
    }
    used = AppendMailbox(addresses[i], used, out);
  }
  out += "\r\n";
}

void AppendReplyToLine(std::string_view address, std::string& out) {
  if (address.empty()) return;
  out += "Reply-To: ";
  out += AddressWithAsciiDomain(HeaderText(address));
  out += "\r\n";
}

void AppendListUnsubscribeLines(std::string_view mailtoUri, std::string_view httpsUri,
                                std::string& out) {
  if (mailtoUri.empty() && httpsUri.empty()) return;
  out += "List-Unsubscribe: ";
  std::size_t used = 18;
  if (!mailtoUri.empty()) {
    out += "<" + HeaderText(mailtoUri) + ">";
    used += mailtoUri.size() + 2;
  }
  if (!httpsUri.empty()) {
    if (!mailtoUri.empty()) {
      out += ',';
      if (used + httpsUri.size() + 4 > kFoldAt) out += "\r\n";
      out += ' ';
    }
    out += "<" + HeaderText(httpsUri) + ">";
  }
  out += "\r\n";
  if (!httpsUri.empty()) out += "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n";
}

void AppendMergedSubjectLine(std::string_view subject, const std::vector<std::string>& fieldNames,
                             const std::vector<std::string>& values, std::string& out) {
  std::string merged;
  std::vector<std::string> attachments;
  MergeFields(subject, fieldNames, values, merged, attachments);
  AppendSubjectLine(merged, out);
}

}  // namespace postrider
