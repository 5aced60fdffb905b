#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "send/attachment_check.h"
#include "send/attachment_composition.h"
#include "send/user_settings.h"

namespace postrider {

class CPostridrDoc;

// What the check before a run found.
struct RunAttachmentCheck {
  bool hasAttachments = false;  // the letter has attachment lines
  std::vector<AttachmentProblem> problems;
  // The files as checked, for the run's AttachmentMessageWriter; none when
  // the letter has no attachment lines.
  std::shared_ptr<const CheckedFiles> checked;
};

// Checks the files of the given entries' messages (those the run will take
// up, in order), each composed as Send composes it. Nothing is sent and no
// mark changes; the message views' contents are taken first, as for every
// composed message.
RunAttachmentCheck CheckRunAttachments(CPostridrDoc& document, const std::vector<int>& entries,
                                       const UserSettings& settings,
                                       std::optional<std::uint64_t> sizeLimit);

// The problems as one text, one a line, for a run that has no one to ask.
std::string AttachmentProblemsText(const std::vector<AttachmentProblem>& problems);

// Unselects the entries the problems name (not those for every entry), so a
// run goes on without them; returns how many were unselected.
int UnselectEntriesWithProblems(CPostridrDoc& document,
                                const std::vector<AttachmentProblem>& problems);

// Messages of the document that carry their files: its field names as
// composition reads them, its folder for relative paths; with `checked`, only
// files as the check before the run found them.
MessageAttachments AttachmentsOfDocument(const CPostridrDoc& document,
                                         std::shared_ptr<const CheckedFiles> checked = nullptr);

// The folder a relative attachment path starts from: the project's; empty for
// a project without a file yet.
std::string AttachmentFolderOf(const CPostridrDoc& document);

}  // namespace postrider
