#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"
#include "project/list_source_type.h"

namespace postrider {

// What a mailing list's first line names, with what did not fit.
struct ListHeader {
  std::vector<std::string> fieldNames;  // at most 25
  int fieldsInFile = 0;                 // fields the header line names, left-out ones included
  // What the header line is made of, to tell the user why a list has no entries.
  std::int64_t lineLength = 0;  // bytes, its line end included
  bool hasLineEnd = false;
  bool hasNulByte = false;
  bool hasLoneCr = false;  // a CR that no LF follows
};

// Reads the header line of a tab- or comma-delimited list.
Result<ListHeader> ReadListHeaderFile(const std::string& path, int listSourceType);

// "UTF-16" or "UTF-32" when a file starts with that encoding's byte order
// mark, empty otherwise: a list in one is no list of bytes, and is refused.
std::string_view WideTextEncoding(std::string_view start);

// Why the list at path cannot be read, for the wizard: a list saved as
// UTF-16 or UTF-32, or one that is no text (a NUL in its first line); empty
// when nothing says so (or it cannot be opened).
std::string ListEncodingProblem(const std::string& path);

// An open mailing list: the field names and where each record line starts.
// Records stay in the file and are read again whenever they are needed, so a
// list costs a few bytes per entry whatever its size.
class MailingList {
 public:
  MailingList() = default;
  ~MailingList();
  MailingList(const MailingList&) = delete;
  MailingList& operator=(const MailingList&) = delete;

  // Opens the file, reads its header and indexes at most 32000 record lines.
  Status Open(const std::string& path, int listSourceType);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  const ListHeader& header() const { return header_; }
  int entryCount() const { return entryCount_; }
  // Record lines in the file, those past the 32000th included.
  std::int64_t recordLinesInFile() const { return recordLinesInFile_; }
  // The entries of a comma list whose lines are parts of a value with a line
  // break (a line ending or starting inside quotes), in order: read alone,
  // each gives a value cut short or values shifted into the wrong fields.
  const std::vector<int>& entriesInBrokenValues() const { return brokenEntries_; }
  bool IsInBrokenValue(int index) const;
  // Bytes of the file as it was indexed.
  std::int64_t fileSize() const { return fileSize_; }
  // SHA-256 of those bytes, in hex: what the project's marks and send
  // journal note, to know the list again.
  const std::string& contentDigest() const { return contentDigest_; }
  // Whether the file at the list's path still holds the bytes it was indexed
  // from: records are read by their place in the file, so a list another
  // program rewrote since would give other people's values.
  Status CheckFileUnchanged() const;
  // Whether the file was seen written to since it was indexed: checked after
  // every read that refills the window, so a record read while this is false
  // holds the bytes it was indexed from. A file replaced by rename is not
  // written to: the open file still reads as it was.
  bool changedSinceOpen() const { return changed_; }
  // Looks at the open file now (one fstat), and returns changedSinceOpen().
  bool RecheckFile() const;
  // Why a list changed since opening cannot be sent on.
  std::string ChangedText() const;

  // Reads entry `index` (0 <= index < entryCount) into `values`, reusing its
  // strings. False when no list is open or the index is out of range. Const:
  // the read window is only a cache of the file, so a list pane can read rows
  // while it paints. maxValues bounds the values read: the first ones are the
  // same as a whole read gives.
  bool ReadRecord(int index, std::vector<std::string>& values,
                  std::size_t maxValues = kMaxListFields) const;
  // Value `field` (< 25) of entry `index`, empty when there is none: a view
  // into the read window (TAB lists) or into scratch, good until the next read.
  std::string_view ReadValue(int index, std::size_t field, std::vector<std::string>& scratch) const;
  // The same value as older programs read it from a comma list, where a
  // doubled quote inside quotes closed the value.
  std::string_view ReadValueAsOlderPrograms(int index, std::size_t field,
                                            std::vector<std::string>& scratch) const;

 private:
  void Index(std::int64_t headerEnd);
  // The bytes of [begin, end) of the file, from the read window when it holds them.
  std::string_view Bytes(std::int64_t begin, std::int64_t end) const;

  // What fstat tells of the open file, to see it written to.
  struct FileIdentity {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = -1;
    std::int64_t mtimeSec = 0, mtimeNsec = 0;
    std::int64_t ctimeSec = 0, ctimeNsec = 0;
    std::uint64_t links = 0;
  };
  static FileIdentity IdentityOf(int fd);
  // Whether a file whose fstat gave `now` was written to since the open.
  bool WrittenSinceOpen(const FileIdentity& now) const;

  int fd_ = -1;
  std::string path_;
  FileIdentity identity_;
  mutable bool changed_ = false;
  int type_ = DBTypeNone;
  ListHeader header_;
  int entryCount_ = 0;
  std::int64_t recordLinesInFile_ = 0;
  std::int64_t fileSize_ = 0;
  std::string contentDigest_;
  std::vector<std::int64_t> lineStarts_;  // entryCount_ + 1 positions
  std::vector<int> brokenEntries_;

  mutable std::vector<char> window_;
  mutable std::int64_t windowStart_ = 0;
  mutable std::size_t windowSize_ = 0;
  mutable std::int64_t lastEnd_ = -1;  // end of the record read last
};

}  // namespace postrider
