// The project file and the entry state file on any bytes: the state file
// gives its first 32000 bytes as the marks and zero for the rest, and saves
// them back byte for byte; the keys read from any project file are saved and
// read back unchanged, and so are other values of the same kinds that the
// file held, however they are spaced or quoted. The files of addresses saved
// beside the marks read any bytes without harm, and what they read is
// written back and read again the same.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "platform/profile_file.h"
#include "project/entry_state_file.h"
#include "project/project_file.h"
#include "project/selected_addresses.h"
#include "project/sent_addresses.h"

namespace {

using namespace postrider;

// Saves replace files by renaming in their folder, which a file in memory
// has not: a folder in memory for them, removed when the run ends.
const std::string& SaveFolder() {
  // A name that outlives every static string, for the removal at exit.
  static char name[] = "/dev/shm/postrider-fuzz-XXXXXX";
  static const std::string folder = [] {
    if (mkdtemp(name) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(name, ignored);
    });
    return std::string(name);
  }();
  return folder;
}

void CheckEntryStateFile(const fuzz::MemoryFile& file, std::string_view bytes) {
  EntryMarks marks;
  FUZZ_CHECK(ReadEntryStateFile(file.path(), marks).ok());
  for (std::size_t i = 0; i < marks.block().size(); ++i) {
    const auto expected = i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0;
    FUZZ_CHECK(marks.block()[i] == expected);
  }
  const std::string saved = SaveFolder() + "/project.prh";
  FUZZ_CHECK(WriteEntryStateFile(saved, marks).ok());
  EntryMarks reread;
  reread.block().fill(0x55);
  FUZZ_CHECK(ReadEntryStateFile(saved, reread).ok());
  FUZZ_CHECK(reread.block() == marks.block());
}

bool HoldsLineBreak(const ProjectFileKeys& keys) {
  for (const std::string* value :
       {&keys.messageFile, &keys.listFile, &keys.emailFieldName, &keys.entryStateFile,
        &keys.listDigest, &keys.letter.ccField, &keys.letter.bccField, &keys.letter.bcc,
        &keys.letter.replyTo, &keys.letter.unsubscribeMailto, &keys.letter.unsubscribeUrl}) {
    if (value->find_first_of("\r\n") != std::string::npos) return true;
  }
  return false;
}

// Keys are saved into a copy of the original file and read back. Keys read
// from a file always save; other values only when a line can hold them.
void CheckSavedAndRead(const std::string& path, const std::string& original,
                       const ProjectFileKeys& keys, bool asRead) {
  FUZZ_CHECK(WriteFileAtomically(path, original).ok());
  const Status written = WriteProjectFile(path, keys);
  if (!written) {
    const bool refusable = !asRead && HoldsLineBreak(keys);
    if (!refusable) std::fprintf(stderr, "%s\n", written.message().c_str());
    FUZZ_CHECK(refusable);
    return;
  }
  const Result<ProjectFileKeys> reread = ReadProjectFile(path);
  FUZZ_CHECK(reread.ok());
  FUZZ_CHECK(*reread == keys);
}

void CheckProjectFile(const fuzz::MemoryFile& file, std::string_view bytes) {
  const Result<ProjectFileKeys> read = ReadProjectFile(file.path());
  FUZZ_CHECK(read.ok());
  const std::string saved = SaveFolder() + "/project.prj";
  const std::string original(bytes);
  CheckSavedAndRead(saved, original, *read, true);

  // The values swapped between keys read through buffers of the same size.
  ProjectFileKeys swapped = *read;
  swapped.messageFile = read->letter.bcc;
  swapped.listFile = read->letter.replyTo;
  swapped.entryStateFile = read->letter.unsubscribeUrl;
  swapped.letter.bcc = read->messageFile;
  swapped.letter.replyTo = read->entryStateFile;
  swapped.letter.unsubscribeMailto = read->listFile;
  swapped.letter.unsubscribeUrl = read->letter.unsubscribeMailto;
  swapped.emailFieldName = read->letter.ccField;
  swapped.listDigest = read->letter.bccField;
  swapped.letter.ccField = read->listDigest;
  swapped.letter.bccField = read->emailFieldName;
  swapped.lastIndexSent = read->emailFieldIndex;
  swapped.emailFieldIndex = read->listSourceType;
  swapped.listSourceType = read->lastIndexSent;
  swapped.letter.mergeSubject = !read->letter.mergeSubject;
  swapped.letter.format = read->letter.format == MessageFormat::Text ? MessageFormat::Markdown
                                                                      : MessageFormat::Text;
  CheckSavedAndRead(saved, original, swapped, false);
}

void CheckSentAddresses(const fuzz::MemoryFile& file) {
  const Result<std::optional<SentAddresses>> read = ReadSentAddresses(file.path());
  if (!read || !read->has_value()) return;
  const SentAddresses& sent = **read;
  FUZZ_CHECK(sent.rows.size() == sent.addresses.size());
  // The writer puts those no entry held last; a file with them elsewhere is
  // written back in that order.
  const std::size_t held = sent.addresses.size() - sent.notInList.size();
  const bool inWritersOrder =
      std::equal(sent.notInList.begin(), sent.notInList.end(), sent.addresses.begin() + held);
  const std::string saved = SaveFolder() + "/project.prh.sent";
  AtomicFileGroup files;
  FUZZ_CHECK(WriteSentRows(files, saved, sent.marksDigest,
                           [&sent, held](const SentRowSink& add) {
                             for (std::size_t k = 0; k < held; ++k) {
                               add(sent.addresses[k], sent.rows[k]);
                             }
                           },
                           sent.notInList, sent.column)
                 .ok());
  FUZZ_CHECK(files.Commit().ok());
  const Result<std::optional<SentAddresses>> reread = ReadSentAddresses(saved);
  // No addresses at all is saved as no file.
  if (sent.addresses.empty() && sent.notInList.empty()) {
    FUZZ_CHECK(reread.ok() && !reread->has_value());
    return;
  }
  FUZZ_CHECK(reread.ok() && reread->has_value());
  const SentAddresses& again = **reread;
  FUZZ_CHECK(again.marksDigest == sent.marksDigest && again.notInList == sent.notInList &&
             again.column == sent.column && again.addresses.size() == sent.addresses.size());
  if (inWritersOrder) FUZZ_CHECK(again.addresses == sent.addresses && again.rows == sent.rows);
}

void CheckSelectedAddresses(const fuzz::MemoryFile& file) {
  const Result<std::optional<SelectedAddresses>> read = ReadSelectedAddresses(file.path());
  if (!read || !read->has_value()) return;
  const SelectedAddresses& selected = **read;
  FUZZ_CHECK(selected.selected <= selected.entries &&
             static_cast<int>(selected.addresses.size()) <= selected.selected);
  const std::string saved = SaveFolder() + "/project.prh.selected";
  AtomicFileGroup files;
  FUZZ_CHECK(WriteSelectedAddresses(files, saved, selected,
                                    [&selected](const AddressSink& add) {
                                      for (const std::string& a : selected.addresses) add(a);
                                    })
                 .ok());
  FUZZ_CHECK(files.Commit().ok());
  const Result<std::optional<SelectedAddresses>> reread = ReadSelectedAddresses(saved);
  FUZZ_CHECK(reread.ok() && reread->has_value());
  const SelectedAddresses& again = **reread;
  FUZZ_CHECK(again.marksDigest == selected.marksDigest &&
             again.listDigest == selected.listDigest && again.column == selected.column &&
             again.entries == selected.entries && again.selected == selected.selected &&
             again.whole == selected.whole && again.addresses == selected.addresses);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fuzz::MemoryFile file("project");
  const std::string_view bytes = fuzz::AsText(data, size);
  file.Write(bytes);
  CheckEntryStateFile(file, bytes);
  CheckProjectFile(file, bytes);
  CheckSentAddresses(file);
  CheckSelectedAddresses(file);
  return 0;
}
