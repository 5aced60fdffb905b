#include "send/letter_run.h"

#include <algorithm>

#include "platform/ascii_text.h"
#include "platform/utf8_text.h"
#include "project/address_check.h"
#include "send/letter_headers.h"
#include "send/merge_fields.h"

namespace postrider {

namespace {

// What a header line can carry of one unsubscribe address.
constexpr std::size_t kMaxUnsubscribeAddress = 900;

std::string Quoted(std::string_view text) { return "\"" + AsUtf8(text) + "\""; }

int FieldIndex(const std::vector<std::string>& fieldNames, const std::string& name) {
  const auto found = std::find(fieldNames.begin(), fieldNames.end(), name);
  return found == fieldNames.end() ? -1 : static_cast<int>(found - fieldNames.begin());
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
  return text.size() >= lowerPrefix.size() &&
         AsciiLowercase(text.substr(0, lowerPrefix.size())) == lowerPrefix;
}

// The unsubscribe address as its key holds it, without a "mailto:" the user
// may have written anyway.
std::string_view MailtoAddress(std::string_view written) {
  if (StartsWithIgnoringCase(written, "mailto:")) written.remove_prefix(7);
  return written;
}

Status CheckFieldName(std::string_view option, const std::string& name,
                      const std::vector<std::string>& fieldNames) {
  if (name.empty() || FieldIndex(fieldNames, name) >= 0) return Status::Ok();
  return Status::Error("The " + std::string(option) + " field " + Quoted(name) +
                       " is not a field of the mailing list.");
}

Status CheckFixedAddress(std::string_view option, const std::string& address) {
  if (address.empty()) return Status::Ok();
  if (Status usable = CheckUsableAddress(AsUtf8(address)); !usable) {
    return Status::Error("The " + std::string(option) + " address: " + usable.message());
  }
  return Status::Ok();
}

// Plausible as an address once its fields hold something.
Status CheckUnsubscribeMailto(const std::string& written,
                              const std::vector<std::string>& fieldNames) {
  if (written.empty()) return Status::Ok();
  std::string sample;
  std::vector<std::string> attachments;
  MergeFields(MailtoAddress(written), fieldNames, std::vector<std::string>(fieldNames.size(), "a"),
              sample, attachments);
  if (!IsValidAddress(sample)) {
    return Status::Error("The unsubscribe address " + Quoted(written) +
                         " is not an e-mail address (unsubscribe@example.org).");
  }
  return Status::Ok();
}

Status CheckUnsubscribeUrl(const std::string& written) {
  if (written.empty()) return Status::Ok();
  constexpr std::string_view kHttps = "https://";
  const bool https = StartsWithIgnoringCase(written, kHttps) && written.size() > kHttps.size() &&
                     written[kHttps.size()] != '/';
  if (!https) {
    return Status::Error("The unsubscribe link " + Quoted(written) +
                         " is not an https address (https://example.org/unsubscribe).");
  }
  return Status::Ok();
}

std::string AsciiLowercaseAddress(std::string_view address) { return AsciiLowercase(address); }

// The addresses of one list field's value, each usable.
Status ReadListedAddresses(std::string_view option, const LetterRun& run, int field,
                           const std::vector<std::string>& values,
                           std::vector<ListedAddress>& out) {
  if (field < 0 || static_cast<std::size_t>(field) >= values.size()) return Status::Ok();
  const std::string& value = values[static_cast<std::size_t>(field)];
  const std::string where = "The " + std::string(option) + " field " +
                            Quoted(run.fieldNames[static_cast<std::size_t>(field)]) + ": ";
  Result<std::vector<ListedAddress>> listed = ParseAddressList(value);
  if (!listed) return Status::Error(where + listed.status().message());
  for (const ListedAddress& address : *listed) {
    if (Status usable = CheckUsableAddress(address.address); !usable) {
      return Status::Error(where + usable.message());
    }
  }
  out = std::move(*listed);
  return Status::Ok();
}

}  // namespace

Status CheckLetterOptions(const LetterOptions& options,
                          const std::vector<std::string>& fieldNames) {
  for (Status status : {CheckFieldName("Cc", options.ccField, fieldNames),
                        CheckFieldName("Bcc", options.bccField, fieldNames),
                        CheckFixedAddress("Bcc", options.bcc),
                        CheckFixedAddress("Reply-To", options.replyTo),
                        CheckUnsubscribeMailto(options.unsubscribeMailto, fieldNames),
                        CheckUnsubscribeUrl(options.unsubscribeUrl)}) {
    if (!status) return status;
  }
  return Status::Ok();
}

Result<LetterRun> PrepareLetterRun(const LetterRunSource& source) {
  static const LetterOptions kNoOptions;
  static const std::vector<std::string> kNoFields;
  const LetterOptions& options = source.options != nullptr ? *source.options : kNoOptions;
  const std::vector<std::string>& rawNames =
      source.fieldNames != nullptr ? *source.fieldNames : kNoFields;
  if (Status status = CheckLetterOptions(options, rawNames); !status) return status;

  LetterRun run;
  run.options = options;
  for (const std::string& name : rawNames) run.fieldNames.push_back(AsUtf8(name));
  run.ccField = options.ccField.empty() ? -1 : FieldIndex(rawNames, options.ccField);
  run.bccField = options.bccField.empty() ? -1 : FieldIndex(rawNames, options.bccField);
  if (!options.unsubscribeMailto.empty()) {
    run.unsubscribeMailto = AddressTemplate(
        "mailto:" + AsUtf8(MailtoAddress(options.unsubscribeMailto)), run.fieldNames);
  }
  if (!options.unsubscribeUrl.empty()) {
    run.unsubscribeUrl = AddressTemplate(AsUtf8(options.unsubscribeUrl), run.fieldNames);
  }
  run.body = std::string(source.body);
  run.subject = std::string(source.subject);
  if (options.format == MessageFormat::Markdown) {
    MarkdownLetterSource letter;
    letter.body = run.body;
    letter.subject = run.subject;
    letter.mergeSubject = options.mergeSubject;
    letter.fieldNames = &run.fieldNames;
    letter.letterFolder = source.letterFolder;
    Result<LetterTemplate> html = RenderMarkdownLetter(letter);
    if (!html) return html.status();
    run.html = std::move(*html);
  }
  return run;
}

Result<RecipientExtras> PrepareRecipientExtras(const LetterRun& run,
                                               const std::vector<std::string>& values,
                                               std::string_view recipient) {
  RecipientExtras extras;
  if (Status status = ReadListedAddresses("Cc", run, run.ccField, values, extras.cc); !status) {
    return status;
  }
  std::vector<ListedAddress> bcc;
  if (Status status = ReadListedAddresses("Bcc", run, run.bccField, values, bcc); !status) {
    return status;
  }
  std::vector<std::string> seen{AsciiLowercaseAddress(recipient)};
  auto addToEnvelope = [&](const std::string& address) {
    const std::string key = AsciiLowercaseAddress(address);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) return;
    seen.push_back(key);
    extras.envelope.push_back(address);
  };
  for (const ListedAddress& address : extras.cc) addToEnvelope(address.address);
  for (const ListedAddress& address : bcc) addToEnvelope(address.address);
  if (!run.options.bcc.empty()) addToEnvelope(AsUtf8(run.options.bcc));
  if (extras.envelope.size() > kMaxExtraRecipients) {
    return Status::Error("This entry has " + std::to_string(extras.envelope.size()) +
                         " Cc and Bcc recipients; a message takes at most " +
                         std::to_string(kMaxExtraRecipients) + " beside its main recipient.");
  }
  run.unsubscribeMailto.Fill(values, extras.unsubscribeMailto);
  run.unsubscribeUrl.Fill(values, extras.unsubscribeUrl);
  if (extras.unsubscribeMailto.size() > kMaxUnsubscribeAddress ||
      extras.unsubscribeUrl.size() > kMaxUnsubscribeAddress) {
    return Status::Error("This entry's unsubscribe address is longer than a mail header can "
                         "carry (" + std::to_string(kMaxUnsubscribeAddress) + " bytes).");
  }
  return extras;
}

void AppendLetterOptionHeaders(const LetterRun& run, const RecipientExtras& extras,
                               std::string& out) {
  AppendCcLine(extras.cc, out);
  AppendReplyToLine(AsUtf8(run.options.replyTo), out);
  AppendListUnsubscribeLines(extras.unsubscribeMailto, extras.unsubscribeUrl, out);
}

}  // namespace postrider
