#include "project/letter_option_keys.h"

#include <string_view>

#include "platform/ascii_text.h"
#include "platform/profile_file.h"

namespace postrider {

namespace {

constexpr const char* kSection = "Settings";
// Addresses with merge fields can outgrow the usual 256-byte buffer.
constexpr std::size_t kLongValue = 4096;

constexpr std::string_view kText = "text";
constexpr std::string_view kMarkdown = "markdown";

// A value the file gives back already is left as it stands (see
// WriteProjectFile).
Status WriteString(ProfileFile& profile, const char* key, const std::string& value,
                   std::size_t buffer = 256) {
  // A key the file lacks is not written empty.
  if (value.empty() && !profile.Find(kSection, key)) return Status::Ok();
  return profile.KeepOrSetString(kSection, key, value, buffer);
}

}  // namespace

LetterOptions ReadLetterOptionKeys(const ProfileFile& profile) {
  LetterOptions options;
  // Anything but "markdown" (a value a later program may know) reads as the
  // plain letter every program can send.
  if (AsciiLowercase(profile.GetString(kSection, "MessageFormat", kText)) == kMarkdown) {
    options.format = MessageFormat::Markdown;
  }
  options.mergeSubject = profile.GetInt(kSection, "MergeSubject", 0) != 0;
  options.ccField = profile.GetString(kSection, "CcField", "");
  options.bccField = profile.GetString(kSection, "BccField", "");
  options.bcc = profile.GetString(kSection, "Bcc", "", kLongValue);
  options.replyTo = profile.GetString(kSection, "ReplyTo", "", kLongValue);
  options.unsubscribeMailto = profile.GetString(kSection, "UnsubscribeMailto", "", kLongValue);
  options.unsubscribeUrl = profile.GetString(kSection, "UnsubscribeUrl", "", kLongValue);
  return options;
}

Status WriteLetterOptionKeys(ProfileFile& profile, const LetterOptions& options) {
  const bool markdown = options.format == MessageFormat::Markdown;
  if (markdown || profile.Find(kSection, "MessageFormat")) {
    if (Status status =
            profile.SetString(kSection, "MessageFormat", markdown ? kMarkdown : kText);
        !status) {
      return status;
    }
  }
  if (options.mergeSubject || profile.Find(kSection, "MergeSubject")) {
    if (Status status = profile.SetInt(kSection, "MergeSubject", options.mergeSubject ? 1 : 0);
        !status) {
      return status;
    }
  }
  for (Status status : {WriteString(profile, "CcField", options.ccField),
                        WriteString(profile, "BccField", options.bccField),
                        WriteString(profile, "Bcc", options.bcc, kLongValue),
                        WriteString(profile, "ReplyTo", options.replyTo, kLongValue),
                        WriteString(profile, "UnsubscribeMailto", options.unsubscribeMailto,
                                    kLongValue),
                        WriteString(profile, "UnsubscribeUrl", options.unsubscribeUrl,
                                    kLongValue)}) {
    if (!status) return status;
  }
  return Status::Ok();
}

}  // namespace postrider
