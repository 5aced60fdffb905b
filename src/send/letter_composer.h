#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"
#include "project/letter_options.h"
#include "send/letter_run.h"

namespace postrider {

class CPostridrDoc;

// Whether the options change the message at all; a composer calls the
// LetterComposer only when they do, so a project without them is composed
// byte for byte as it always was.
inline bool UsesLetterOptions(const LetterOptions& options) { return options.AnyOn(); }

// What the letter options add to each message of a run. The run's composer
// holds one: the options are checked and the letter rendered once, and again
// only when the options, the letter, the subject or the list's fields change.
class LetterComposer {
 public:
  // Takes the document's options, letter and subject. An error (an option
  // that cannot work, a picture that cannot go) means no message can be made.
  Status Take(const CPostridrDoc& doc);

  // One recipient: `values` as the record holds them, `recipient` UTF-8. An
  // error says which Cc or Bcc value cannot be used.
  Status ForRecipient(const std::vector<std::string>& values, std::string_view recipient);

  // Take, then ForRecipient: what a composer calls for each message.
  Status Begin(const CPostridrDoc& doc, const std::vector<std::string>& values,
               std::string_view recipient);

  // The recipient's lines, each ended by CR LF: the subject (its fields
  // filled when the options say so, else as `subjectLine` has it) and the
  // options' own headers (Cc, Reply-To, List-Unsubscribe).
  bool MergesSubject() const { return run_.options.mergeSubject; }
  void AppendSubjectLine(std::string& out) const;
  void AppendHeaders(std::string& out) const;

  // Whether the body is made here (Markdown): then AppendBody writes
  // MIME-Version, the type and the parts, `mergedText` (UTF-8) being the plain
  // part; `attachments` are whole parts for multipart/mixed.
  bool MakesBody() const { return run_.html.has_value(); }
  void AppendBody(std::string_view mergedText, std::span<const std::string_view> attachments,
                  std::string& out);

  // Cc and Bcc recipients of the last ForRecipient, for RCPT TO after the
  // main one.
  const std::vector<std::string>& copies() const { return extras_.envelope; }

 private:
  bool prepared_ = false;
  LetterOptions options_;
  std::string body_;
  std::string subject_;
  std::vector<std::string> fieldNames_;
  std::string folder_;
  LetterRun run_;

  std::vector<std::string> values_;  // UTF-8
  RecipientExtras extras_;
  std::string html_;
};

// The folder a letter's relative picture paths start from.
std::string LetterFolderOf(const CPostridrDoc& doc);

}  // namespace postrider
