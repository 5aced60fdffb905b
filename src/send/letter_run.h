#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"
#include "project/letter_options.h"
#include "send/address_list.h"
#include "send/address_template.h"
#include "send/markdown_letter.h"

namespace postrider {

// Whether the options can make messages with this list: the Cc and Bcc
// fields are list fields, the Bcc and Reply-To addresses can be sent to, the
// unsubscribe address is an address and the link an https one. The error
// names the option and says why. fieldNames as the document holds them.
Status CheckLetterOptions(const LetterOptions& options, const std::vector<std::string>& fieldNames);

// What a run makes of the letter options, once, before its first message.
struct LetterRun {
  LetterOptions options;                // as the run found them
  std::vector<std::string> fieldNames;  // UTF-8
  int ccField = -1;                     // -1: none
  int bccField = -1;
  AddressTemplate unsubscribeMailto;    // "mailto:..." with its fields
  AddressTemplate unsubscribeUrl;
  std::optional<LetterTemplate> html;   // with Markdown
  // What the HTML was rendered from: a letter edited during the run is
  // rendered again before its next message.
  std::string body;
  std::string subject;
};

struct LetterRunSource {
  const LetterOptions* options = nullptr;
  const std::vector<std::string>* fieldNames = nullptr;  // as the document holds them
  std::string_view body;     // UTF-8
  std::string_view subject;  // UTF-8
  std::string letterFolder;  // where the letter's relative picture paths start
};

// Checks the options (CheckLetterOptions) and, with Markdown, renders the
// letter and reads its pictures. An error stops the run before anything is
// sent.
Result<LetterRun> PrepareLetterRun(const LetterRunSource& source);

// What one recipient's message gets from the options.
struct RecipientExtras {
  std::vector<ListedAddress> cc;  // the Cc: header's addresses
  // RCPT TO after the main recipient: Cc, then the Bcc field's, then the Bcc
  // address; each address once, and none that is the main recipient.
  std::vector<std::string> envelope;
  std::string unsubscribeMailto;  // "mailto:...", "" when unset
  std::string unsubscribeUrl;     // "https://...", "" when unset
};

// At most this many Cc and Bcc recipients beside the main one: servers
// accept 100 recipients a message at least (RFC 5321).
inline constexpr std::size_t kMaxExtraRecipients = 50;

// The entry's extras from its values (UTF-8, in list field order) and its
// main recipient. An error says which value cannot be used and why; a run
// reports it before its first message, as it does a bad address.
Result<RecipientExtras> PrepareRecipientExtras(const LetterRun& run,
                                               const std::vector<std::string>& values,
                                               std::string_view recipient);

// The header lines of the options for one recipient, after From: and
// Subject: (Cc, Reply-To, List-Unsubscribe, List-Unsubscribe-Post). Bcc
// addresses go in no header.
void AppendLetterOptionHeaders(const LetterRun& run, const RecipientExtras& extras,
                               std::string& out);

}  // namespace postrider
