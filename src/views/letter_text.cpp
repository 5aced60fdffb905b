#include "views/letter_text.h"

#include <QStringDecoder>

#include <array>

namespace postrider {

namespace {

// Windows-1252's characters for bytes 0x80 to 0x9F. The five bytes it leaves
// undefined keep the control character of the same number, so every byte has
// a character of its own and the way back is exact.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  //
};

char16_t SingleByteCharacter(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

// The byte that stands for `c`, or -1 when no byte does.
int SingleByteFor(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == c) return static_cast<int>(0x80 + i);
  }
  return -1;
}

// Valid exactly when decoding and encoding again give the same bytes: no
// overlong forms, no surrogates, and a byte order mark kept as a character.
bool DecodeUtf8(std::string_view bytes, QString& text) {
  QStringDecoder decoder(QStringDecoder::Utf8,
                         QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
  text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (decoder.hasError()) return false;
  const QByteArray again = text.toUtf8();
  return std::string_view(again.constData(), static_cast<std::size_t>(again.size())) == bytes;
}

QString EditLineBreaks(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

QString StoredLineBreaks(QString text) {
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return text;
}

bool EncodeSingleByte(const QString& text, std::string& out) {
  out.clear();
  out.reserve(static_cast<std::size_t>(text.size()));
  for (const QChar c : text) {
    const int byte = SingleByteFor(c.unicode());
    if (byte < 0) return false;
    out.push_back(static_cast<char>(byte));
  }
  return true;
}

}  // namespace

QString DecodeLetterBytes(std::string_view bytes, LetterEncoding* encoding) {
  QString text;
  LetterEncoding found = LetterEncoding::Utf8;
  if (!DecodeUtf8(bytes, text)) {
    found = LetterEncoding::SingleByte;
    text.resize(static_cast<qsizetype>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      text[static_cast<qsizetype>(i)] =
          QChar(SingleByteCharacter(static_cast<unsigned char>(bytes[i])));
    }
  }
  if (encoding != nullptr) *encoding = found;
  return EditLineBreaks(std::move(text));
}

std::string EncodeLetterText(const QString& text, LetterEncoding preferred, LetterEncoding* used) {
  const QString stored = StoredLineBreaks(text);
  std::string bytes;
  if (preferred == LetterEncoding::SingleByte && EncodeSingleByte(stored, bytes)) {
    if (used != nullptr) *used = LetterEncoding::SingleByte;
    return bytes;
  }
  const QByteArray utf8 = stored.toUtf8();
  if (used != nullptr) *used = LetterEncoding::Utf8;
  return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

LetterText::LetterText(std::string bytes) : bytes_(std::move(bytes)) {
  shown_ = DecodeLetterBytes(bytes_, &encoding_);
}

std::string LetterText::BytesFor(const QString& text) const {
  if (text == shown_) return bytes_;
  return EncodeLetterText(text, encoding_);
}

}  // namespace postrider
