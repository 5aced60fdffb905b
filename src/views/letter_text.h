#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace postrider {

// How a letter's bytes became the text on screen.
enum class LetterEncoding {
  Utf8,        // the bytes were valid UTF-8 (plain ASCII included)
  SingleByte,  // anything else: one character per byte, Windows-1252 letters
};

// Bytes as the letter edit shows them. Valid UTF-8 is read as UTF-8; any other
// bytes (a Latin-1 or Windows-1252 letter) one character per byte, through a
// table that gives every byte its own character, so the text goes back to the
// same bytes. CR LF and a lone CR become the edit's line break, "\n".
QString DecodeLetterBytes(std::string_view bytes, LetterEncoding* encoding = nullptr);

// The text as the letter stores it: CR LF line ends, in `preferred`. A
// single-byte letter that now holds a character its bytes cannot carry is
// stored as UTF-8 as a whole, so nothing typed is lost or replaced.
std::string EncodeLetterText(const QString& text, LetterEncoding preferred,
                             LetterEncoding* used = nullptr);

// One text of the letter (its subject or its body) as loaded, so an unchanged
// text goes back byte for byte, line ends and encoding included.
class LetterText {
 public:
  LetterText() = default;
  explicit LetterText(std::string bytes);

  const std::string& bytes() const { return bytes_; }
  const QString& shown() const { return shown_; }
  LetterEncoding encoding() const { return encoding_; }

  // The loaded bytes when `text` is the loaded text, else `text` encoded the
  // way the loaded text was.
  std::string BytesFor(const QString& text) const;

 private:
  std::string bytes_;
  QString shown_;
  LetterEncoding encoding_ = LetterEncoding::Utf8;
};

}  // namespace postrider
