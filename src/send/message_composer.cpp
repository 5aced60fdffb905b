#include "send/message_composer.h"

#include "send/header_lines.h"
#include "send/merge_fields.h"
#include "send/message_date.h"
#include "send/message_id.h"
#include "send/mime_encoding.h"
#include "smtp/envelope_address.h"
#include "platform/utf8_text.h"

namespace postrider {
namespace {

// The entry's values into record; none when the entry cannot be read.
void ReadEntry(CPostridrDoc& doc, int entry, ListRecord& record) {
  if (!doc.ReadListRecord(entry, record)) record.values.clear();
}

// Each text as UTF-8, reusing the strings already in out.
void AllAsUtf8(const std::vector<std::string>& texts, std::vector<std::string>& out) {
  out.resize(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    out[i].clear();
    AppendAsUtf8(texts[i], out[i]);
  }
}

}  // namespace

std::string GetRecipientAddress(CPostridrDoc& doc, int entry) {
  ListRecord record;
  ReadEntry(doc, entry, record);
  return AsUtf8(record.ValueAt(doc.GetEmailFieldIndex()));
}

void ComposeMessage(CPostridrDoc& doc, int entry, const UserSettings& settings,
                    ComposedMessage& out) {
  const std::string messageId = NewMessageId(settings.returnAddress);
  ComposeMessage(doc, entry, settings, std::time(nullptr), messageId, out);
}

void ComposeMessage(CPostridrDoc& doc, int entry, const UserSettings& settings, std::time_t date,
                    std::string_view messageId, ComposedMessage& out) {
  doc.UpdateFromMessageViews();
  // One read serves the To: line and every merge field: the list file does
  // not change while a project is open.
  ReadEntry(doc, entry, out.record);
  AllAsUtf8(out.record.values, out.values);
  AllAsUtf8(doc.GetFieldNames(), out.fieldNames);
  out.letter.clear();
  AppendAsUtf8(doc.GetBody(), out.letter);
  MergeFields(out.letter, out.fieldNames, out.values, out.body, out.attachments);
  const bool encodeBody = NeedsTransferEncoding(out.body);

  std::string& text = out.text;
  text.clear();
  text.reserve(out.body.size() + (encodeBody ? out.body.size() / 2 : 0) + 512);
  out.recipient = AsUtf8(out.record.ValueAt(doc.GetEmailFieldIndex()));
  AppendToLine(AddressWithAsciiDomain(out.recipient), text);
  AppendFromLine(AsUtf8(settings.realName), AddressWithAsciiDomain(AsUtf8(settings.returnAddress)),
                 text);
  AppendSubjectLine(AsUtf8(doc.GetSubject()), text);
  text += "Date: ";
  AppendMessageDate(date, text);
  text += "\r\nMessage-ID: ";
  text += messageId;
  text += "\r\n";
  if (encodeBody) {
    text += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=";
    text += CharsetOf(out.body);
    text += "\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    AppendQuotedPrintable(out.body, text);
  } else {
    text += "\r\n";
    text += out.body;
  }
}

}  // namespace postrider
