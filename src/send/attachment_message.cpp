#include "send/attachment_message.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <unordered_set>

#include "send/attachment_check.h"
#include "send/attachment_mime.h"
#include "send/base64_lines.h"
#include "send/content_type.h"
#include "send/mime_encoding.h"

namespace postrider {
namespace {

// A whole number of base64 lines, read and encoded at a time.
constexpr std::size_t kReadPiece = Base64LineEncoder::kLineBytes * 2048;

std::string RandomBoundary() {
  std::random_device random;
  static constexpr char kHex[] = "0123456789abcdef";
  // "=_" occurs in neither base64 nor quoted-printable text.
  std::string boundary = "=_postrider_";
  for (int i = 0; i < 24; ++i) boundary += kHex[random() & 15];
  return boundary;
}

Status FileFault(const AttachmentPath& path, const std::string& reason) {
  return Status::Error("The attachment \"" + ShownPathText(path.path) + "\" cannot be sent: " +
                       reason);
}

// Reads up to `want` bytes at the file's current offset; fewer only at its end.
Result<std::size_t> ReadPiece(int fd, char* into, std::size_t want) {
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n = ::read(fd, into + got, want - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Status::Error(std::string("it cannot be read: ") + std::strerror(errno));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

}  // namespace

AttachmentMessageWriter::AttachmentMessageWriter(std::shared_ptr<const CheckedFiles> checked)
    : checked_(std::move(checked)), boundary_(RandomBoundary()) {}

Status AttachmentMessageWriter::AsChecked(const AttachmentPath& path,
                                          const AttachmentFile& file) const {
  if (!checked_) return Status::Ok();
  const auto found = checked_->find(path.path);
  // Say, an attachment line added to the letter during the run.
  if (found == checked_->end()) return FileFault(path, "it was not checked before the run");
  if (found->second != file.identity()) {
    return FileFault(path, "it changed after the check before the run");
  }
  return Status::Ok();
}

void AttachmentMessageWriter::ChooseBoundaryFor(std::string_view body, bool mayHoldAnything) {
  // Text that goes as it is could hold anything, even this run's boundary.
  if (!mayHoldAnything && NeedsTransferEncoding(body)) return;
  while (body.find(boundary_) != std::string_view::npos) boundary_ = RandomBoundary();
}

Status AttachmentMessageWriter::Write(std::string_view headLines, std::string_view body,
                                      const std::vector<AttachmentPath>& files, std::string& out) {
  return WriteWith(headLines, body, false, files, out);
}

Status AttachmentMessageWriter::WriteAround(std::string_view headLines,
                                            std::string_view letterPart,
                                            const std::vector<AttachmentPath>& files,
                                            std::string& out) {
  return WriteWith(headLines, letterPart, true, files, out);
}

Status AttachmentMessageWriter::WriteWith(std::string_view headLines, std::string_view body,
                                          bool letterIsPart,
                                          const std::vector<AttachmentPath>& files,
                                          std::string& out) {
  out.clear();
  // Every file is opened before any is read: one that is missing fails the
  // message before work is spent on the others.
  std::vector<AttachmentFile> opened;
  opened.reserve(files.size());
  std::uint64_t expected = headLines.size() + kMultipartOverhead + body.size() + body.size() / 2;
  // What the message takes at least: the check before the run counts more,
  // so nothing it let through is refused here.
  std::uint64_t least = headLines.size() + body.size();
  for (const AttachmentPath& path : files) {
    Result<AttachmentFile> file = OpenAttachmentFile(path);
    if (!file) return FileFault(path, file.status().message());
    if (Status same = AsChecked(path, *file); !same) return same;
    expected += 512 + Base64LineEncoder::EncodedSize(file->size());
    least += Base64LineEncoder::EncodedSize(file->size());
    // Refused before any memory is taken for it, checked or not.
    if (least > kMaxMessageWithFiles) {
      return FileFault(path, "with it the message would be more than the " +
                                 SizeText(kMaxMessageWithFiles) +
                                 " Postrider sends in one message");
    }
    opened.push_back(std::move(*file));
  }
  // A formatted letter's HTML part may go as it is.
  ChooseBoundaryFor(body, letterIsPart);
  out.reserve(expected);
  out += headLines;
  out += "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n boundary=\"";
  out += boundary_;
  out += "\"\r\n\r\n--";
  out += boundary_;
  out += "\r\n";
  if (letterIsPart) {
    out += body;
  } else {
    AppendTextPartHeaders(body, out);
    out += "\r\n";
    AppendTextPartBody(body, out);
  }
  std::unordered_set<std::string> used;
  for (std::size_t i = 0; i < files.size(); ++i) {
    out += "\r\n--";
    out += boundary_;
    out += "\r\n";
    if (Status appended = AppendPart(files[i], opened[i], out); !appended) return appended;
    used.insert(files[i].path);
  }
  out += "\r\n--";
  out += boundary_;
  out += "--\r\n";
  // Only the files of the letter as it stands stay cached: an edit during
  // the run leaves no stale part behind.
  std::erase_if(cache_, [&used](const auto& entry) { return !used.contains(entry.first); });
  return Status::Ok();
}

Status AttachmentMessageWriter::AppendPart(const AttachmentPath& path, AttachmentFile& file,
                                           std::string& out) {
  if (path.TakesListValues()) return AppendEncodedFile(path, file, out);
  const auto cached = cache_.find(path.path);
  if (cached != cache_.end() && cached->second.identity == file.identity()) {
    out += cached->second.part;
    ++figures_.partsReused;
    return Status::Ok();
  }
  CachedPart part{file.identity(), {}};
  part.part.reserve(512 + Base64LineEncoder::EncodedSize(file.size()));
  if (Status encoded = AppendEncodedFile(path, file, part.part); !encoded) return encoded;
  out += part.part;
  cache_[path.path] = std::move(part);
  return Status::Ok();
}

Status AttachmentMessageWriter::AppendEncodedFile(const AttachmentPath& path, AttachmentFile& file,
                                                  std::string& out) {
  if (Status types = ContentTypesAvailable(); !types) return FileFault(path, types.message());
  readBuffer_.resize(kReadPiece);
  Result<std::size_t> got = ReadPiece(file.fd(), readBuffer_.data(), kReadPiece);
  if (!got) return FileFault(path, got.status().message());
  // The type from the first piece: the file is read once.
  const std::string_view first(readBuffer_.data(), *got);
  AppendAttachmentPartHeaders(path.FileName(), ContentTypeOf(first), out);
  Base64LineEncoder encoder;
  std::uint64_t total = 0;
  while (*got > 0) {
    total += *got;
    encoder.Append(std::string_view(readBuffer_.data(), *got), out);
    if (*got < kReadPiece) break;
    got = ReadPiece(file.fd(), readBuffer_.data(), kReadPiece);
    if (!got) return FileFault(path, got.status().message());
  }
  // A file written while it was read is not the one opened, let alone checked.
  char extra = 0;
  if (total != file.size() || ::read(file.fd(), &extra, 1) > 0 || !file.Unchanged()) {
    return FileFault(path, "it changed while it was read");
  }
  ++figures_.filesEncoded;
  figures_.bytesEncoded += total;
  return Status::Ok();
}

}  // namespace postrider
