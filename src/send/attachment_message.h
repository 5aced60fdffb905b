#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/status.h"
#include "send/attachment_file.h"
#include "send/attachment_path.h"

namespace postrider {

// Writes the messages of one run that carry files. A file every message
// carries (its line holds no merge field) is read and encoded once and used
// again for as long as it stays the same file; a recipient's own file is
// encoded as it is read, so memory stays near the size of one message
// whatever the list's length.
class AttachmentMessageWriter {
 public:
  // `checked`: the files as the check before the run found them. A file not
  // among them, or not the same file any more (written, replaced, its modes
  // changed), is refused. Without it (compose, Preview) files are taken as
  // they are.
  explicit AttachmentMessageWriter(std::shared_ptr<const CheckedFiles> checked = nullptr);

  // The whole message into `out`: `headLines` (To: to Message-ID:, each ended
  // by CR LF), MIME-Version and the multipart/mixed type, the letter's text
  // as the first part and one part a file, in the order given. Fails, naming
  // the file and why, when one cannot go as checked (gone, changed, no
  // longer readable, unsafe); that recipient's message is then not sent.
  Status Write(std::string_view headLines, std::string_view body,
               const std::vector<AttachmentPath>& files, std::string& out);
  // The same around a letter that is already a whole MIME part (a formatted
  // letter's multipart/alternative or multipart/related: its headers, an
  // empty line, its body), which goes first as it is.
  Status WriteAround(std::string_view headLines, std::string_view letterPart,
                     const std::vector<AttachmentPath>& files, std::string& out);

  struct Figures {
    std::uint64_t filesEncoded = 0;  // files read and encoded
    std::uint64_t bytesEncoded = 0;  // their bytes
    std::uint64_t partsReused = 0;   // parts taken from the run's cache
  };
  const Figures& figures() const { return figures_; }
  const std::string& boundary() const { return boundary_; }

 private:
  struct CachedPart {
    FileIdentity identity;
    std::string part;  // headers and base64 lines
  };

  Status AsChecked(const AttachmentPath& path, const AttachmentFile& file) const;
  // `letter` is the plain text, or with `letterIsPart` a whole MIME part.
  Status WriteWith(std::string_view headLines, std::string_view letter, bool letterIsPart,
                   const std::vector<AttachmentPath>& files, std::string& out);
  Status AppendPart(const AttachmentPath& path, AttachmentFile& file, std::string& out);
  Status AppendEncodedFile(const AttachmentPath& path, AttachmentFile& file, std::string& out);
  void ChooseBoundaryFor(std::string_view body, bool mayHoldAnything);

  std::shared_ptr<const CheckedFiles> checked_;
  std::string boundary_;
  std::unordered_map<std::string, CachedPart> cache_;  // by path
  std::string readBuffer_;
  Figures figures_;
};

}  // namespace postrider
