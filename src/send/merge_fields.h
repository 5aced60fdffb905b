#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace postrider {

// The ten files a message carries and one more: a letter with too many
// attachment lines is told so (Preview lists the eleventh with its problem,
// composition refuses it), never cut short without a word.
inline constexpr std::size_t kMaxAttachments = 11;

// Writes a message text with one recipient's values merged in, in one pass:
// - "[[Name]]", where Name equals a list field name byte for byte (the first
//   such field wins), becomes that field's value, not scanned again; a value
//   the record lacks is empty;
// - an attachment line (see AttachmentLineAt: "[[Attachment:" and two blanks,
//   a path up to the next ']', or past the merge fields the path holds, then
//   one more ']' if there is one and the line end, CR LF or LF, if there is
//   one) is left out; the paths of the first 11 are collected as written;
// - everything else, unmatched fields and stray brackets included, goes as
//   written.
// `out` and `attachments` are cleared first and keep their capacity.
void MergeFields(std::string_view text, const std::vector<std::string>& fieldNames,
                 const std::vector<std::string>& values, std::string& out,
                 std::vector<std::string>& attachments);

// The names the text writes as merge fields ("[[Name]]" as MergeFields reads
// it, the name not empty) that no field of fieldNames has, each once, in the
// order they first stand: what MergeFields would leave as written. Attachment
// lines are not fields.
std::vector<std::string> UnknownFieldNames(std::string_view text,
                                           const std::vector<std::string>& fieldNames);

// A letter read once for a whole run: where its merge fields stand does not
// depend on the values, so each recipient's text is only pieces put together.
// Merging gives exactly what MergeFields gives for the same text and names.
class MergeTemplate {
 public:
  // Reads text against fieldNames; what was read before is dropped.
  void Read(std::string_view text, const std::vector<std::string>& fieldNames);

  // Appends the text with values merged in; a value the record lacks is empty.
  void AppendMerged(const std::vector<std::string>& values, std::string& out) const;
  // Whether the merged text would need a transfer encoding (see
  // NeedsTransferEncoding), without merging it when the values hold no line
  // break: only the lines that hold fields are measured again.
  bool MergedNeedsTransferEncoding(const std::vector<std::string>& values) const;

  const std::vector<std::string>& attachments() const { return attachments_; }
  // The fields the text holds, each once, in the order they first appear.
  const std::vector<std::size_t>& usedFields() const { return usedFields_; }
  // The fields the attachment lines' paths hold, each once.
  const std::vector<std::size_t>& attachmentFields() const { return attachmentFields_; }
  std::size_t plainSize() const { return plainSize_; }

 private:
  friend class TemplateSink;

  struct Piece {
    std::uint32_t begin = 0;  // plain text: its place in text_
    std::uint32_t length = 0;
    std::int32_t field = -1;  // a merge field's index, else -1
  };
  // A line that holds fields: its own bytes, and where its fields are in lineFields_.
  struct FieldLine {
    std::size_t plainLength = 0;
    std::uint32_t firstField = 0;
    std::uint32_t fieldCount = 0;
  };

  std::string text_;  // the plain text of every piece, one after another
  std::vector<Piece> pieces_;
  std::vector<std::string> attachments_;
  std::vector<std::size_t> usedFields_;
  std::vector<std::size_t> attachmentFields_;
  std::size_t plainSize_ = 0;
  // For the encoding decision: whether the plain text alone calls for one,
  // and the lines whose length depends on the values.
  bool plainNeedsEncoding_ = false;
  std::vector<FieldLine> fieldLines_;
  std::vector<std::uint32_t> lineFields_;
};

}  // namespace postrider
