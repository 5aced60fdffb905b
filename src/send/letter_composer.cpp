#include "send/letter_composer.h"

#include <filesystem>

#include "platform/utf8_text.h"
#include "project/postridr_doc.h"
#include "send/header_lines.h"
#include "send/letter_headers.h"
#include "send/mime_structure.h"

namespace postrider {

std::string LetterFolderOf(const CPostridrDoc& doc) {
  const std::string& letter = doc.GetMessageFilePath();
  if (!letter.empty()) return std::filesystem::path(letter).parent_path().string();
  const std::string& project = doc.GetPathName();
  if (!project.empty()) return std::filesystem::path(project).parent_path().string();
  return {};
}

Status LetterComposer::Take(const CPostridrDoc& doc) {
  const std::string folder = LetterFolderOf(doc);
  if (prepared_ && options_ == doc.GetLetterOptions() && body_ == doc.GetBody() &&
      subject_ == doc.GetSubject() && fieldNames_ == doc.GetFieldNames() && folder_ == folder) {
    return Status::Ok();
  }
  prepared_ = false;
  options_ = doc.GetLetterOptions();
  body_ = doc.GetBody();
  subject_ = doc.GetSubject();
  fieldNames_ = doc.GetFieldNames();
  folder_ = folder;
  const std::string bodyUtf8 = AsUtf8(body_);
  const std::string subjectUtf8 = AsUtf8(subject_);
  LetterRunSource source;
  source.options = &options_;
  source.fieldNames = &fieldNames_;
  source.body = bodyUtf8;
  source.subject = subjectUtf8;
  source.letterFolder = folder_;
  Result<LetterRun> run = PrepareLetterRun(source);
  if (!run) {
    run_ = {};
    return run.status();
  }
  run_ = std::move(*run);
  prepared_ = true;
  return Status::Ok();
}

Status LetterComposer::ForRecipient(const std::vector<std::string>& values,
                                    std::string_view recipient) {
  values_.resize(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    values_[i].clear();
    AppendAsUtf8(values[i], values_[i]);
  }
  extras_ = {};
  Result<RecipientExtras> extras = PrepareRecipientExtras(run_, values_, recipient);
  if (!extras) return extras.status();
  extras_ = std::move(*extras);
  return Status::Ok();
}

Status LetterComposer::Begin(const CPostridrDoc& doc, const std::vector<std::string>& values,
                             std::string_view recipient) {
  extras_ = {};
  if (Status status = Take(doc); !status) return status;
  return ForRecipient(values, recipient);
}

void LetterComposer::AppendSubjectLine(std::string& out) const {
  if (run_.options.mergeSubject) {
    AppendMergedSubjectLine(run_.subject, run_.fieldNames, values_, out);
  } else {
    postrider::AppendSubjectLine(run_.subject, out);
  }
}

void LetterComposer::AppendHeaders(std::string& out) const {
  AppendLetterOptionHeaders(run_, extras_, out);
}

void LetterComposer::AppendBody(std::string_view mergedText,
                                std::span<const std::string_view> attachments, std::string& out) {
  if (run_.html) FillLetterHtml(*run_.html, values_, html_);
  MessageParts parts;
  parts.text = mergedText;
  parts.html = run_.html ? std::string_view(html_) : std::string_view();
  if (run_.html) parts.pictures = run_.html->pictures;
  parts.attachments = attachments;
  AppendMessageParts(parts, out);
}

}  // namespace postrider
