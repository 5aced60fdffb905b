#include "send/message_composer.h"

#include "project/address_check.h"
#include "send/header_lines.h"
#include "send/mime_encoding.h"
#include "smtp/envelope_address.h"
#include "platform/utf8_text.h"

namespace postrider {
namespace {

// The entry's values into record; none when the entry cannot be read.
void ReadEntry(CPostridrDoc& doc, int entry, ListRecord& record) {
  if (!doc.ReadListRecord(entry, record)) record.values.clear();
}

// The text as UTF-8 into out, reusing its buffer.
void AssignAsUtf8(std::string_view text, std::string& out) {
  out.clear();
  AppendAsUtf8(text, out);
}

// Only a domain beyond ASCII is rewritten; the rest goes as it is.
void AppendToLineOf(const std::string& recipient, std::string& out) {
  if (HasEightBitBytes(recipient)) {
    AppendToLine(AddressWithAsciiDomain(recipient), out);
  } else {
    AppendToLine(recipient, out);
  }
}

}  // namespace

std::string GetRecipientAddress(CPostridrDoc& doc, int entry) {
  ListRecord record;
  ReadEntry(doc, entry, record);
  return AsUtf8(record.ValueAt(doc.GetEmailFieldIndex()));
}

void MessageComposer::TakeLetter(const CPostridrDoc& doc) {
  if (haveLetter_ && doc.GetBody() == body_ && doc.GetFieldNames() == fieldNames_) return;
  body_ = doc.GetBody();
  fieldNames_ = doc.GetFieldNames();
  std::vector<std::string> names(fieldNames_.size());
  for (std::size_t i = 0; i < names.size(); ++i) AssignAsUtf8(fieldNames_[i], names[i]);
  letter_.Read(AsUtf8(body_), names);
  haveLetter_ = true;
}

void MessageComposer::TakeSender(const UserSettings& settings) {
  if (haveSender_ && settings.realName == realName_ && settings.returnAddress == returnAddress_) {
    return;
  }
  realName_ = settings.realName;
  returnAddress_ = settings.returnAddress;
  AssignAsUtf8(returnAddress_, returnAddressUtf8_);
  fromLine_.clear();
  AppendFromLine(AsUtf8(realName_), AddressWithAsciiDomain(returnAddressUtf8_), fromLine_);
  haveSender_ = true;
}

void MessageComposer::TakeSubject(const std::string& subject) {
  if (haveSubject_ && subject == subject_) return;
  subject_ = subject;
  subjectLine_.clear();
  AppendSubjectLine(AsUtf8(subject_), subjectLine_);
  haveSubject_ = true;
}

template <typename Stamp>
void MessageComposer::ComposeWith(CPostridrDoc& doc, int entry, const UserSettings& settings,
                                  Stamp stamp, ComposedMessage& out) {
  doc.UpdateFromMessageViews();
  TakeLetter(doc);
  TakeSender(settings);
  TakeSubject(doc.GetSubject());

  // One read serves the To: line and every merge field; a list written to
  // before it was read makes the message one that must not go.
  ReadEntry(doc, entry, out.record);
  out.listChanged = doc.ListChangedSinceOpen();
  const std::vector<std::string>& values = out.record.values;
  out.values.resize(values.size());
  for (std::string& value : out.values) value.clear();
  for (const std::size_t field : letter_.usedFields()) {
    if (field < values.size()) AppendAsUtf8(values[field], out.values[field]);
  }
  for (const std::size_t field : letter_.attachmentFields()) {
    if (field < values.size() && out.values[field].empty()) AppendAsUtf8(values[field], out.values[field]);
  }
  out.attachments = letter_.attachments();
  const bool encodeBody = letter_.MergedNeedsTransferEncoding(out.values);
  AssignAsUtf8(out.record.ValueAt(doc.GetEmailFieldIndex()), out.recipient);
  out.recipientValid = IsValidAddress(out.recipient);
  const bool options = UsesLetterOptions(doc.GetLetterOptions());
  // A body that goes as it is is merged straight into the text; one that is
  // encoded, formatted or carried with files is needed on its own.
  const bool bodyAsItIs = !options && !encodeBody && out.attachments.empty();
  out.body.clear();
  if (!bodyAsItIs) {
    out.body.reserve(letter_.plainSize() + 256);
    letter_.AppendMerged(out.values, out.body);
  }
  out.copies.clear();
  out.problem.clear();
  if (options) {
    if (Status status = letterOptions_.Begin(doc, values, out.recipient); !status) {
      out.problem = status.message();
    }
    out.copies = letterOptions_.copies();
  }
  if (out.listChanged) {
    out.problem = doc.ListChangedText() +
                  "\nThe run stopped before this entry; the entries sent before it stay marked "
                  "sent. Open the project again and check the selection before you send on.";
  }

  std::string& text = out.text;
  text.clear();
  const std::size_t bodySize = bodyAsItIs ? letter_.plainSize() + 256 : out.body.size();
  text.reserve(bodySize + (encodeBody ? bodySize / 2 : 0) + 512);
  AppendToLineOf(out.recipient, text);
  text += fromLine_;
  if (options && letterOptions_.MergesSubject()) {
    letterOptions_.AppendSubjectLine(text);
  } else {
    text += subjectLine_;
  }
  text += "Date: ";
  stamp.AppendDate(text);
  text += "\r\nMessage-ID: ";
  stamp.AppendMessageId(text);
  text += "\r\n";
  if (options) letterOptions_.AppendHeaders(text);
  out.formatted = options && letterOptions_.MakesBody();
  if (out.formatted) {
    letterOptions_.AppendBody(out.body, {}, text);
  } else if (encodeBody) {
    // The letter and the values each came through AppendAsUtf8, split only
    // at ASCII bytes: the body is always valid UTF-8.
    text += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8"
            "\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    AppendQuotedPrintable(out.body, text);
  } else {
    text += "\r\n";
    if (bodyAsItIs) {
      letter_.AppendMerged(out.values, text);
    } else {
      text += out.body;
    }
  }
}

void MessageComposer::Compose(CPostridrDoc& doc, int entry, const UserSettings& settings,
                              ComposedMessage& out) {
  struct Now {
    MessageComposer& composer;
    const UserSettings& settings;
    void AppendDate(std::string& text) { composer.date_.Append(std::time(nullptr), text); }
    void AppendMessageId(std::string& text) { composer.ids_.AppendNew(settings.returnAddress, text); }
  };
  ComposeWith(doc, entry, settings, Now{*this, settings}, out);
}

void MessageComposer::Compose(CPostridrDoc& doc, int entry, const UserSettings& settings,
                              std::time_t date, std::string_view messageId, ComposedMessage& out) {
  struct Given {
    std::time_t date;
    std::string_view messageId;
    void AppendDate(std::string& text) const { AppendMessageDate(date, text); }
    void AppendMessageId(std::string& text) const { text += messageId; }
  };
  ComposeWith(doc, entry, settings, Given{date, messageId}, out);
}

void ComposeMessage(CPostridrDoc& doc, int entry, const UserSettings& settings,
                    ComposedMessage& out) {
  MessageComposer().Compose(doc, entry, settings, out);
}

void ComposeMessage(CPostridrDoc& doc, int entry, const UserSettings& settings, std::time_t date,
                    std::string_view messageId, ComposedMessage& out) {
  MessageComposer().Compose(doc, entry, settings, date, messageId, out);
}

}  // namespace postrider
