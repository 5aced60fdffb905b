#include "send/address_template.h"

#include "send/field_marks.h"
#include "send/markup_escape.h"

namespace postrider {

AddressTemplate::AddressTemplate(std::string_view written,
                                 const std::vector<std::string>& fieldNames) {
  const std::string marked = WithFieldMarks(written, fieldNames);
  std::size_t textStart = 0;
  auto takeText = [&](std::size_t end) {
    if (end == textStart) return;
    Piece piece;
    AppendUriText(std::string_view(marked).substr(textStart, end - textStart), piece.text);
    pieces_.push_back(std::move(piece));
  };
  for (std::size_t at = marked.find(kFieldMarkOpen); at != std::string::npos;
       at = marked.find(kFieldMarkOpen, at)) {
    const FieldMark mark = ReadFieldMark(marked, at, kFieldMarkOpen, kFieldMarkClose);
    if (mark.field < 0) {
      ++at;
      continue;
    }
    takeText(at);
    pieces_.push_back({"", mark.field});
    at += mark.length;
    textStart = at;
  }
  takeText(marked.size());
}

void AddressTemplate::Fill(const std::vector<std::string>& values, std::string& out) const {
  out.clear();
  for (const Piece& piece : pieces_) {
    if (piece.field < 0) {
      out += piece.text;
    } else if (static_cast<std::size_t>(piece.field) < values.size()) {
      AppendPercentEncoded(values[static_cast<std::size_t>(piece.field)], out);
    }
  }
}

}  // namespace postrider
