#include "send/letter_pictures.h"

#include <filesystem>
#include <iterator>

#include "platform/atomic_file.h"
#include "platform/base64.h"
#include "platform/sha256.h"
#include "send/attachment_check.h"
#include "send/base64_lines.h"
#include "send/content_type.h"

namespace postrider {

namespace {

constexpr std::size_t kBase64Line = 76;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The scheme's length with its ':', 0 when the text has none. One letter
// before ':' is a drive, not a scheme.
std::size_t SchemeLength(std::string_view text) {
  if (text.empty() || !IsAsciiLetter(text[0])) return 0;
  for (std::size_t i = 1; i < text.size() && i <= 32; ++i) {
    const char c = text[i];
    if (c == ':') return i >= 2 ? i + 1 : 0;
    if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
      return 0;
    }
  }
  return 0;
}

bool StartsWithFileScheme(std::string_view text) {
  return SchemeLength(text) == 5 && (text.substr(0, 5) == "file:" || text.substr(0, 5) == "FILE:");
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::filesystem::path PathOf(std::string_view written, const std::string& letterFolder) {
  std::string_view path = written;
  if (StartsWithFileScheme(path)) {
    path.remove_prefix(5);
    // file:///home/ann/x.png, or file:/home/ann/x.png
    if (path.substr(0, 2) == "//") path.remove_prefix(2);
  }
  std::filesystem::path file(path);
  if (file.is_relative()) file = std::filesystem::path(letterFolder) / file;
  return file;
}

std::string InBase64Lines(std::string_view bytes) {
  const std::string flat = Base64(bytes);
  std::string lines;
  lines.reserve(flat.size() + flat.size() / kBase64Line * 2 + 2);
  for (std::size_t at = 0; at < flat.size(); at += kBase64Line) {
    lines.append(flat, at, kBase64Line);
    lines += "\r\n";
  }
  return lines;
}

}  // namespace

bool IsLocalPicture(std::string_view written) {
  return SchemeLength(written) == 0 || StartsWithFileScheme(written);
}

Result<InlinePicture> ReadLetterPicture(std::string_view written, const std::string& letterFolder,
                                        std::uint64_t room) {
  const std::string shown = "The letter's picture \"" + std::string(written) + "\"";
  std::filesystem::path file = PathOf(written, letterFolder);
  // Never the working folder's: the same letter would show another picture
  // once the project is saved.
  if (file.is_relative()) {
    return Status::Error(shown + " cannot be sent: its path is relative and the project has no "
                                 "folder yet: save the project, or write the picture's whole path.");
  }
  std::error_code error;
  if (!std::filesystem::exists(file, error)) {
    const std::filesystem::path decoded = PathOf(PercentDecoded(written), letterFolder);
    if (std::filesystem::exists(decoded, error)) file = decoded;
  }
  if (!std::filesystem::is_regular_file(file, error)) {
    return Status::Error(shown + " cannot be sent: " + file.string() +
                         (std::filesystem::exists(file, error) ? " is not a file."
                                                               : " does not exist."));
  }
  const std::string tooLarge = shown + " cannot be sent: the letter's pictures would make each "
                               "message more than the " + SizeText(kMaxMessageWithFiles) +
                               " Postrider sends in one message.";
  // Every message carries the picture: one too large for it is not read.
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  if (!error && Base64LineEncoder::EncodedSize(size) > room) return Status::Error(tooLarge);
  // Read within the bound every whole file is: a sparse picture of many
  // gigabytes would otherwise exhaust memory.
  Result<std::string> read = ReadWholeFile(file.string());
  if (!read) return Status::Error(shown + " cannot be sent: " + read.status().message() + ".");
  const std::string bytes = std::move(*read);
  // It may have grown since.
  if (Base64LineEncoder::EncodedSize(bytes.size()) > room) return Status::Error(tooLarge);
  if (Status types = ContentTypesAvailable(); !types) {
    return Status::Error(shown + " cannot be sent: " + types.message());
  }
  InlinePicture picture;
  picture.mediaType = ContentTypeOf(bytes);
  if (picture.mediaType == kUnknownContentType) picture.mediaType.clear();
  if (picture.mediaType.rfind("image/", 0) != 0) {
    return Status::Error(shown + " cannot be sent: " + file.string() + " is not a picture" +
                         (picture.mediaType.empty() ? "." : " (" + picture.mediaType + ")."));
  }
  picture.path = file.string();
  picture.fileName = file.filename().string();
  // The same picture gets the same name in every message and every run.
  picture.contentId = Sha256Hex(bytes).substr(0, 24) + "@postrider";
  picture.base64 = InBase64Lines(bytes);
  return picture;
}

}  // namespace postrider
