#include "project/postridr_doc.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "project/entry_state_file.h"
#include "project/open_checks.h"
#include "project/project_file.h"
#include "project/project_paths.h"
#include "project/project_texts.h"
#include "project/selected_addresses.h"
#include "project/send_journal.h"
#include "project/sent_addresses.h"

namespace postrider {

namespace {

const std::string kNoValue;

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

bool IsRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// The entry state file and its sent addresses as last saved, carried to the
// new name among the files a Save replaces together. A project never saved
// gets one with no entry selected and none with a status, so that it opens
// with nothing missing.
Status CarryLastSavedMarks(AtomicFileGroup& files, const std::string& from,
                           const std::string& to) {
  Result<std::optional<std::string>> marks =
      from.empty() ? std::optional<std::string>() : ReadFileIfPresent(from);
  if (!marks) return marks.status();
  Status status = *marks ? files.Write(to, **marks) : WriteEntryStateFile(files, to, EntryMarks());
  if (!status) return status;
  for (const auto& pathOf : {SentAddressesPath, SelectedAddressesPath}) {
    Result<std::optional<std::string>> addresses =
        *marks ? ReadFileIfPresent(pathOf(from)) : std::optional<std::string>();
    if (!addresses) return addresses.status();
    if (*addresses) {
      status = files.Write(pathOf(to), **addresses);
      if (!status) return status;
    } else {
      files.Remove(pathOf(to));
    }
  }
  return Status::Ok();
}

// Problems met while a project opened; the project opens anyway.
std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += '\n';
    text += line;
  }
  return text;
}

}  // namespace

const std::string& ListRecord::ValueAt(int field) const {
  if (field < 0 || static_cast<std::size_t>(field) >= values.size()) return kNoValue;
  return values[static_cast<std::size_t>(field)];
}

CPostridrDoc::CPostridrDoc() = default;
CPostridrDoc::~CPostridrDoc() = default;

void CPostridrDoc::AddView(IProjectView* view) { projectViews_.push_back(view); }
void CPostridrDoc::AddView(IMessageView* view) { messageViews_.push_back(view); }
void CPostridrDoc::RemoveView(IProjectView* view) { std::erase(projectViews_, view); }
void CPostridrDoc::RemoveView(IMessageView* view) { std::erase(messageViews_, view); }

void CPostridrDoc::ShowMessage(const std::string& text, MessageIcon icon) {
  if (prompts_ != nullptr) prompts_->ShowMessage(text, icon);
}

std::string CPostridrDoc::GetTitle() const {
  if (pathName_.empty()) return "Postrider";
  return std::filesystem::path(pathName_).filename().string();
}

// ---- life cycle -------------------------------------------------------------

void CPostridrDoc::DeleteContents() {
  NotifyListAboutToChange();
  list_.Close();
  marks_.Clear();
  message_ = {};
  selectedCount_ = 0;
  selectionWhole_ = false;
  NoteSelectionOnDisk();
}

void CPostridrDoc::ResetProjectStorage() {
  // Paths left from the previous project would let a save of the cleared
  // document (after a failed Open or a cancelled New) write over its files.
  messageFilePath_.clear();
  listFilePath_.clear();
  emailFieldName_.clear();
  entryStateFilePath_.clear();
  lastIndexSent_ = 0;
  letterOptions_ = {};
  storedKeys_ = {};
  loadProblems_.clear();
  letterUnread_ = false;
  marksUnread_ = false;
  unappliedJournal_ = false;
  untitledJournalPath_.clear();
  sentNotInList_.clear();
  NotifyListAboutToChange();
  notices_.clear();
  letterOnDisk_ = {};
  letterRead_ = false;
  letterStamp_.reset();
  fieldNames_.clear();
  emailFieldIndex_ = -1;
  listSourceType_ = DBTypeNone;
  RefreshViews();
}

void CPostridrDoc::NotifyListAboutToChange() {
  ForEachProjectView([](IProjectView& view) { view.ListAboutToChange(); });
}

void CPostridrDoc::NotifyEntryMarkChanged(int index) {
  ForEachProjectView([index](IProjectView& view) { view.EntryMarkChanged(index); });
}

void CPostridrDoc::RefreshViews() {
  ForEachMessageView([](IMessageView& view) { view.LoadFromDocument(); });
  ForEachProjectView([](IProjectView& view) { view.FillList(); });
}

void CPostridrDoc::UpdateFromMessageViews() {
  ForEachMessageView([](IMessageView& view) { view.UpdateDocument(); });
}

void CPostridrDoc::InsertMergeField(int fieldIndex) {
  if (IsReadOnly() || fieldIndex < 0 || fieldIndex >= GetFieldCount()) return;
  const std::string field = "[[" + fieldNames_[static_cast<std::size_t>(fieldIndex)] + "]]";
  ForEachMessageView([&field](IMessageView& view) { view.InsertAtCaret(field); });
}

void CPostridrDoc::SetLetterOptions(const LetterOptions& options) {
  if (IsReadOnly() || options == letterOptions_) return;
  letterOptions_ = options;
  modified_ = true;
}

void CPostridrDoc::InsertAtMessageStart(const std::string& text) {
  if (IsReadOnly()) return;
  ForEachMessageView([&text](IMessageView& view) { view.InsertAtStart(text); });
}

bool CPostridrDoc::OnNewDocument(IProjectWizardPages& pages) { return RunProjectWizard(pages); }

bool CPostridrDoc::OnOpenDocument(const std::string& path) {
  DeleteContents();
  ResetProjectStorage();
  pathName_.clear();
  modified_ = false;

  const std::string projectPath = AbsolutePath(path);
  // The lock comes first: what is read below must not be half saved by
  // another program.
  if (!LockForOpening(projectPath)) return false;
  Result<ProjectFileKeys> keys = ReadProjectFile(projectPath);
  if (!keys) {
    ReleaseProject();
    ShowMessage(std::string(texts::kErrorLoadingProject) + "\n\n" + keys.status().message(),
                MessageIcon::Error);
    return false;
  }
  // Both paths are needed to save the project again.
  if (keys->messageFile.size() < 3 || keys->entryStateFile.size() < 3) {
    ReleaseProject();
    // A project file that is not there reads as one without keys; say so,
    // or a mistyped name is told only as a broken project.
    struct stat info {};
    if (::stat(projectPath.c_str(), &info) != 0) {
      ShowMessage(std::string(texts::kErrorLoadingProject) + "\n\nCannot read \"" + projectPath +
                      "\": " + std::strerror(errno),
                  MessageIcon::Error);
      return false;
    }
    ShowMessage(texts::kErrorLoadingProject);
    return false;
  }
  messageFilePath_ = ResolveStoredPath(projectPath, keys->messageFile);
  listFilePath_ = ResolveStoredPath(projectPath, keys->listFile);
  listSourceType_ = keys->listSourceType;
  emailFieldName_ = keys->emailFieldName;
  emailFieldIndex_ = keys->emailFieldIndex;
  entryStateFilePath_ = ResolveStoredPath(projectPath, keys->entryStateFile);
  lastIndexSent_ = keys->lastIndexSent;
  letterOptions_ = keys->letter;

  storedKeys_ = *keys;

  if (Status status = ReadMessageFile(); !status) {
    loadProblems_.push_back(status.message());
    letterUnread_ = Exists(messageFilePath_);
  }
  if (Status status = ReadEntryStateFile(); !status) {
    loadProblems_.push_back(status.message());
    marksUnread_ = Exists(entryStateFilePath_);
  }
  if (IsTextListType(listSourceType_)) {
    NotifyListAboutToChange();
    if (Status status = list_.Open(listFilePath_, listSourceType_); !status) {
      loadProblems_.push_back(status.message());
    } else {
      fieldNames_ = list_.header().fieldNames;
    }
  }
  // Addresses are matched through the email field the project names.
  emailFieldNotice_ = CheckEmailFieldAgainstList();
  const std::string marksOnDisk = MarksDigest(marks_);
  const SelectedOnDisk selectedOnDisk =
      ReadSelectedAddresses(SelectedAddressesPath(entryStateFilePath_));
  selectionWhole_ = SelectionChosenWhole(selectedOnDisk, marksOnDisk);
  std::string listNotice = RematchMarksToChangedList(selectedOnDisk);
  // Before the journal: a selection it gives back is a run's, not saved.
  NoteSelectionOnDisk();
  const std::string journalNotice = ApplySendJournal(projectPath);
  if (journalGaveSelection_ && !rematchedSelectionSentence_.empty() &&
      listNotice.ends_with(rematchedSelectionSentence_)) {
    listNotice.resize(listNotice.size() - rematchedSelectionSentence_.size());
  }
  // Marks kept by position in a list grown since, or a run's selection the
  // journal gave back, may leave entries out.
  selectionWhole_ = selectionWhole_ && EveryEntrySelected();
  const std::string readingNotice = ClearBadMarksOfOlderReading(marksOnDisk);
  if (!loadProblems_.empty()) {
    notices_.insert(notices_.begin(),
                    "The project was opened, but some of its files could not be read:\n" +
                        JoinLines(loadProblems_));
  }
  if (IsReadOnly() && access_ != ProjectAccess::ReadOnly) {
    notices_.insert(notices_.begin(), readOnlyReason_ + texts::kOpenedReadOnly);
  }
  TellAboutLeftOutListParts();
  if (!listNotice.empty()) notices_.push_back(listNotice);
  if (!journalNotice.empty()) notices_.push_back(journalNotice);
  if (!readingNotice.empty()) notices_.push_back(readingNotice);
  CheckProjectAgainstList();
  ShowNotices();

  RefreshViews();
  if (frame_ != nullptr) {
    frame_->AttachDocument(this);
    frame_->SetCurrentProjectPath(projectPath);
  }
  // Just read, it holds what its files hold: closing it must not offer to
  // save (Enter there would write it). What opening recovered stays in its
  // files (a journal is kept until a save folds it in).
  ShowSelectedCount(-1);
  pathName_ = projectPath;
  return true;
}

Status CPostridrDoc::OnSaveDocument(const std::string& path) {
  if (IsReadOnly()) {
    const Status refusal = ReadOnlyRefusal();
    ShowMessage(refusal.message(), MessageIcon::Error);
    return refusal;
  }
  const std::string projectPath = AbsolutePath(path);
  // Saved under another name, the project goes with that name's lock.
  Result<std::unique_ptr<ProjectLock>> lock = LockForSaving(projectPath);
  if (!lock) {
    ShowMessage("The project could not be saved.\n\n" + lock.status().message(),
                MessageIcon::Error);
    return lock.status();
  }
  // The new paths take effect only once everything is written, so a failed
  // Save As leaves the project as it was.
  const std::string entryStatePath = ReplaceLastThree(projectPath, "prh");
  const std::string messagePath =
      messageFilePath_.size() < 3 ? NewLetterPath(projectPath, listFilePath_) : messageFilePath_;

  UpdateFromMessageViews();

  ProjectFileKeys keys;
  keys.messageFile = StoredPathForm(projectPath, messagePath, storedKeys_.messageFile);
  keys.listFile = StoredPathForm(projectPath, listFilePath_, storedKeys_.listFile);
  keys.listSourceType = listSourceType_;
  keys.emailFieldName = emailFieldName_;
  keys.emailFieldIndex = emailFieldIndex_;
  keys.entryStateFile = StoredPathForm(projectPath, entryStatePath, storedKeys_.entryStateFile);
  // A list written to since it was opened holds other people where the
  // marks and the resume point stand: those stay as they were last saved,
  // and the send journal, kept, carries what the runs did by address.
  const bool listRewritten = list_.IsOpen() && list_.RecheckFile();
  keys.lastIndexSent = listRewritten ? storedKeys_.lastIndexSent : lastIndexSent_;
  keys.letter = letterOptions_;

  const bool keepUnreadLetter = letterUnread_ && messagePath == messageFilePath_ &&
                                message_ == MessageContents{};
  // A letter nobody changed is left as it is: a save must not fail on a
  // letter in a folder the user may only read.
  const bool letterUnchanged = letterRead_ && messagePath == messageFilePath_ &&
                               message_ == letterOnDisk_ && IsRegularFile(messagePath);
  const bool keepUnreadMarks = listRewritten ||
                               (marksUnread_ && entryStatePath == entryStateFilePath_ &&
                                std::all_of(marks_.block().begin(), marks_.block().end(),
                                            [](std::uint8_t mark) { return mark == 0; }));
  // The digest names the list the marks on disk were made for.
  const bool marksForThisList = list_.IsOpen() && !keepUnreadMarks;
  keys.listDigest = marksForThisList ? list_.contentDigest() : storedKeys_.listDigest;

  // All on disk before any replaces its old file, and renamed in this order:
  // the marks before the sent addresses that name them (marks whose file was
  // renamed and whose addresses were not are kept entry by entry, as they
  // are), the project file last, since it names the others and the list the
  // marks are for. A crash between the renames is covered by the send
  // journal, which is folded only after this and applies again the same.
  const bool writesLetter = !keepUnreadLetter && !letterUnchanged;
  AtomicFileGroup files;
  Status status = CheckSaveTargets(projectPath, messagePath, entryStatePath);
  if (status && writesLetter) {
    // The user was asked and said No: nothing is written, nothing more said.
    if (Status kept = CheckLetterNotChangedElsewhere(messagePath); !kept) return kept;
    status = postrider::WriteMessageFile(files, messagePath, message_);
  }
  if (status && !keepUnreadMarks) {
    status = postrider::WriteEntryStateFile(files, entryStatePath, marks_);
  }
  // Under another name, the marks kept as last saved go with the project.
  if (status && listRewritten && entryStatePath != entryStateFilePath_) {
    status = CarryLastSavedMarks(files, entryStateFilePath_, entryStatePath);
  }
  if (status && marksForThisList) status = WriteSentAddressesFor(files, entryStatePath);
  if (status && marksForThisList) status = WriteSelectedAddressesFor(files, entryStatePath);
  // Written to while the addresses were read: they may be other people's.
  if (status && marksForThisList && list_.changedSinceOpen()) {
    status = Status::Error(ListChangedText());
  }
  if (status) status = WriteProjectFile(files, projectPath, keys);
  // And so does the journal kept, which the marks need to be whole again,
  // or one that could not be applied: its outcomes are in no mark.
  const std::string previousPath = pathName_;
  std::optional<SendJournalMove> journalMove;
  if (status && (listRewritten || unappliedJournal_) && previousPath != projectPath) {
    const std::string from =
        previousPath.empty() ? untitledJournalPath_ : SendJournalPath(previousPath);
    const std::string to = SendJournalPath(projectPath);
    if (!SameFile(from, to)) {
      journalMove.emplace(from, to, !previousPath.empty());
      status = journalMove->Stage();
    }
  }
  if (status) status = files.Commit();
  if (!status) {
    ShowMessage("The project could not be saved.\n\n" + status.message(), MessageIcon::Error);
    return status;
  }

  messageFilePath_ = messagePath;
  if (!keepUnreadLetter) {
    letterOnDisk_ = message_;
    letterRead_ = true;
  }
  if (writesLetter) letterStamp_ = StampWrittenLetter(messagePath, FormatMessageFile(message_));
  entryStateFilePath_ = entryStatePath;
  storedKeys_ = keys;
  pathName_ = projectPath;
  if (*lock) lock_ = std::move(*lock);
  if (frame_ != nullptr) frame_->SetCurrentProjectPath(projectPath);
  modified_ = false;
  if (!keepUnreadMarks) NoteSelectionOnDisk();
  if (listRewritten) {
    if (previousPath.empty()) untitledJournalPath_.clear();
    if (Status moved = FinishJournalMove(journalMove); !moved) return moved;
    // No run since the last save (or its journal folded) leaves no journal
    // to speak of.
    const std::string journalPath = GetSendJournalPath();
    std::string text = ListChangedText() +
                       "\nThe entries' statuses and selection stay as they were last saved.";
    if (Exists(journalPath)) {
      text += " What send runs did since is kept in the send journal \"" + journalPath +
              "\" and found again by address when the project is next opened.";
    }
    ShowMessage(text, MessageIcon::Warning);
  } else {
    if (Status moved = FinishJournalMove(journalMove); !moved) return moved;
    FoldSendJournals(previousPath, projectPath);
  }
  return Status::Ok();
}

Status CPostridrDoc::FinishJournalMove(std::optional<SendJournalMove>& journalMove) {
  if (!journalMove) return Status::Ok();
  Status moved = journalMove->Finish();
  if (!moved) {
    ShowMessage("The project was saved, but " + moved.message() + "\nWhat send runs did "
                "since is still in \"" + journalMove->from() + "\"; the project saved "
                "does not have it.", MessageIcon::Error);
  }
  return moved;
}

// The project's own files must stay apart: a project saved over its list, or
// an entry state file landing on the letter, would destroy them.
Status CPostridrDoc::CheckSaveTargets(const std::string& projectPath, const std::string& messagePath,
                                      const std::string& entryStatePath) const {
  // A project named "x.prh" would get its entry state file written over it.
  if (entryStatePath == projectPath || SameFile(entryStatePath, projectPath)) {
    return Status::Error(projectPath +
                         " would be both the project file and its entry state file; choose a "
                         "name that does not end in prh.");
  }
  for (const std::string& target : {projectPath, entryStatePath}) {
    if (SameFile(target, listFilePath_)) {
      return Status::Error(target + " is the project's mailing list; choose another name.");
    }
    if (SameFile(target, messagePath)) {
      return Status::Error(target + " is the project's letter; choose another name.");
    }
  }
  return Status::Ok();
}

Status CPostridrDoc::CheckLetterNotChangedElsewhere(const std::string& messagePath) {
  // A new letter's own name was free when it was chosen.
  if (messagePath != messageFilePath_ || !letterStamp_) return Status::Ok();
  if (!LetterChangedSince(messagePath, *letterStamp_)) return Status::Ok();
  if (prompts_ != nullptr && prompts_->AskYesNo(texts::LetterChangedElsewhere(messagePath))) {
    return Status::Ok();
  }
  return Status::Error(texts::LetterKeptUnsaved(messagePath));
}

bool CPostridrDoc::DoSave(const std::string& path) {
  std::string target = path;
  if (target.empty()) {
    if (prompts_ == nullptr) return false;
    std::optional<std::string> chosen = prompts_->ChooseSavePath(GetTitle() + ".prj");
    if (!chosen) return false;
    target = *chosen;
  }
  return OnSaveDocument(target).ok();
}

bool CPostridrDoc::SaveModified() {
  if (!modified_ || IsReadOnly()) return true;
  if (prompts_ == nullptr) return true;
  switch (prompts_->AskSaveChanges(GetTitle())) {
    case SaveChoice::Cancel:
      return false;
    case SaveChoice::No:
      return true;
    case SaveChoice::Yes:
      return DoSave(pathName_);
  }
  return false;
}

bool CPostridrDoc::CanCloseFrame() {
  UpdateFromMessageViews();
  return SaveModified();
}

bool CPostridrDoc::RunProjectWizard(IProjectWizardPages& pages) {
  DeleteContents();
  pathName_.clear();
  modified_ = false;
  ReleaseProject();
  ResetProjectStorage();

  WizardMessagePage messagePage;
  WizardListPage listPage;
  WizardEmailFieldPage emailPage;
  WizardFinishPage finishPage;
  enum class Page { Message, List, EmailField, Finish };
  Page page = Page::Message;
  for (;;) {
    if (page == Page::Message) {
      const WizardPageResult result = pages.ShowMessagePage(messagePage);
      if (result == WizardPageResult::Cancel) return false;
      if (result == WizardPageResult::Back) continue;
      // A path too short to name a letter stays as typed, so the finish step
      // still sees it as too short instead of as a folder's absolute path.
      messageFilePath_ = messagePage.messageFilePath.size() > 3
                             ? AbsolutePath(messagePage.messageFilePath)
                             : messagePage.messageFilePath;
      page = Page::List;
    } else if (page == Page::List) {
      const WizardPageResult result = pages.ShowListPage(listPage);
      if (result == WizardPageResult::Cancel) return false;
      if (result == WizardPageResult::Back) {
        page = Page::Message;
        continue;
      }
      listFilePath_ = AbsolutePath(listPage.listFilePath);
      listSourceType_ = listPage.listSourceType;
      if (IsTextListType(listSourceType_)) ReadListHeader(listFilePath_);
      page = Page::EmailField;
    } else if (page == Page::EmailField) {
      emailPage.fieldNames = fieldNames_;
      emailPage.emailFieldIndex = -1;
      emailPage.emailFieldName.clear();
      const WizardPageResult result = pages.ShowEmailFieldPage(emailPage);
      if (result == WizardPageResult::Cancel) return false;
      if (result == WizardPageResult::Back) {
        page = Page::List;
        continue;
      }
      emailFieldIndex_ = emailPage.emailFieldIndex;
      emailFieldName_ = emailPage.emailFieldName;
      page = Page::Finish;
    } else {
      const WizardPageResult result = pages.ShowFinishPage(finishPage);
      if (result == WizardPageResult::Cancel) return false;
      if (result == WizardPageResult::Back) {
        page = Page::EmailField;
        continue;
      }
      break;
    }
  }

  if (frame_ != nullptr) {
    frame_->AttachDocument(this);
    frame_->SetCurrentProjectPath("");
  }
  if (IsTextListType(listSourceType_)) LoadList(listFilePath_);
  // A new letter may name a file that does not exist yet; it is made on the first save.
  if (messageFilePath_.size() > 3) ReadMessageFile();
  if (list_.IsOpen() && GetEntryCount() == 0) {
    notices_.push_back(WhyTheListHasNoEntries(listFilePath_, list_.header()));
  }
  ShowNotices();
  SelectAll();
  SetModifiedFlag(true);
  RefreshViews();
  if (finishPage.showHelpChoice == WizardFinishPage::kShowHelp && frame_ != nullptr) {
    frame_->ShowHelpContents();
  }
  return true;
}

// ---- files --------------------------------------------------------------------

Status CPostridrDoc::ReadMessageFile() {
  bool headersMisread = false;
  LetterFileStamp seen;
  Result<MessageContents> message =
      postrider::ReadMessageFile(messageFilePath_, &headersMisread, &seen);
  if (!message) {
    // A new letter not there yet: one that turns up before the save is someone else's.
    if (!Exists(messageFilePath_)) letterStamp_.emplace();
    return message.status();
  }
  letterStamp_ = std::move(seen);
  message_ = std::move(*message);
  letterOnDisk_ = message_;
  letterRead_ = true;
  if (headersMisread) notices_.push_back(LetterHeaderNotice(messageFilePath_));
  return Status::Ok();
}

Status CPostridrDoc::ReadEntryStateFile() {
  return postrider::ReadEntryStateFile(entryStateFilePath_, marks_);
}

// ---- mailing list -------------------------------------------------------------

bool CPostridrDoc::ReadListHeader(const std::string& path) {
  Result<ListHeader> header = ReadListHeaderFile(path, listSourceType_);
  if (!header) return false;
  NotifyListAboutToChange();
  fieldNames_ = header->fieldNames;
  return true;
}

bool CPostridrDoc::LoadList(const std::string& path) {
  NotifyListAboutToChange();
  if (!list_.Open(path, listSourceType_)) return false;
  fieldNames_ = list_.header().fieldNames;
  TellAboutLeftOutListParts();
  return true;
}

std::string CPostridrDoc::CheckEmailFieldAgainstList() {
  // A list that could not be read, or has no fields at all, says nothing
  // about the email field; it is kept.
  if (!IsTextListType(listSourceType_) || !list_.IsOpen() || fieldNames_.empty()) return {};
  const EmailFieldCheck email = CheckEmailField(emailFieldName_, emailFieldIndex_, fieldNames_);
  emailFieldIndex_ = email.index;
  return email.notice;
}

void CPostridrDoc::CheckProjectAgainstList() {
  if (!IsTextListType(listSourceType_)) {
    notices_.push_back(UnreadableListTypeNotice(listSourceType_));
    return;
  }
  if (!list_.IsOpen()) return;
  if (!emailFieldNotice_.empty()) notices_.push_back(emailFieldNotice_);
  emailFieldNotice_.clear();
  if (const std::string notice = CheckLastIndexSent(lastIndexSent_, GetEntryCount());
      !notice.empty()) {
    notices_.push_back(notice);
    lastIndexSent_ = 0;
  }
  if (GetEntryCount() == 0)
    notices_.push_back(WhyTheListHasNoEntries(listFilePath_, list_.header()));
}

// Everything the opening found goes into one box, so the user answers one.
void CPostridrDoc::ShowNotices() {
  if (notices_.empty()) return;
  ShowMessage(JoinLines(notices_), MessageIcon::Warning);
  notices_.clear();
}

void CPostridrDoc::SetEmailFieldIndex(int index) {
  if (IsReadOnly()) return;
  emailFieldIndex_ = index;
  if (index >= 0 && index < GetFieldCount())
    emailFieldName_ = fieldNames_[static_cast<std::size_t>(index)];
}

std::int64_t CPostridrDoc::GetRecordsLeftOut() const {
  if (!list_.IsOpen()) return 0;
  return std::max<std::int64_t>(list_.recordLinesInFile() - kMaxListEntries, 0);
}

int CPostridrDoc::GetFieldsLeftOut() const {
  if (!list_.IsOpen()) return 0;
  return std::max(list_.header().fieldsInFile - kMaxListFields, 0);
}

std::string CPostridrDoc::LeftOutListPartsText() const {
  std::string text;
  if (const std::int64_t records = GetRecordsLeftOut(); records > 0) {
    text += "The mailing list has " + std::to_string(list_.recordLinesInFile()) +
            " records; only the first " + std::to_string(kMaxListEntries) + " are used, so " +
            std::to_string(records) + " are left out.";
  }
  if (const int fields = GetFieldsLeftOut(); fields > 0) {
    if (!text.empty()) text += '\n';
    text += "The mailing list has " + std::to_string(list_.header().fieldsInFile) +
            " fields; only the first " + std::to_string(kMaxListFields) + " are used, so " +
            std::to_string(fields) + " are left out.";
  }
  if (const std::string broken = BrokenValuesNotice(list_.entriesInBrokenValues());
      !broken.empty()) {
    if (!text.empty()) text += '\n';
    text += broken;
  }
  return text;
}

void CPostridrDoc::TellAboutLeftOutListParts() {
  if (std::string text = LeftOutListPartsText(); !text.empty()) notices_.push_back(std::move(text));
}

bool CPostridrDoc::ReadListRecord(int index, ListRecord& record) const {
  if (!list_.IsOpen() || index < 0 || index >= list_.entryCount()) return false;
  record.selection = marks_.IsSelected(index) ? EntryMarks::kSelectionBit : 0;
  record.sendStatus = marks_.Status(index);
  if (list_.IsInBrokenValue(index)) {
    record.values.clear();
    return false;
  }
  return list_.ReadRecord(index, record.values);
}

// ---- selection and status -----------------------------------------------------

void CPostridrDoc::SetEntryStatus(int index, int status) {
  if (index < 0 || index >= kMaxListEntries) return;
  marks_.SetStatus(index, status);
  NotifyEntryMarkChanged(index);
  ForEachProjectView([index](IProjectView& view) { view.ShowEntry(index); });
}

void CPostridrDoc::ToggleEntrySelection(int index) {
  if (IsReadOnly() || index < 0 || index >= GetEntryCount()) return;
  marks_.ToggleSelection(index);
  // Marked by hand: those people, not whoever the list holds.
  selectionWhole_ = false;
  NotifyEntryMarkChanged(index);
  UpdateSelectedCount(-1);
}

void CPostridrDoc::SelectAll() {
  if (IsReadOnly()) return;
  marks_.SetSelectionRange(0, GetEntryCount(), true);
  selectionWhole_ = true;
  ForEachProjectView([](IProjectView& view) { view.RedrawList(); });
  UpdateSelectedCount(GetEntryCount());
}

void CPostridrDoc::UnselectAll() {
  if (IsReadOnly()) return;
  marks_.SetSelectionRange(0, GetEntryCount(), false);
  selectionWhole_ = false;
  ForEachProjectView([](IProjectView& view) { view.RedrawList(); });
  UpdateSelectedCount(0);
}

void CPostridrDoc::ClearStatus(int first, StatusClearing which) {
  if (IsReadOnly()) return;
  marks_.ClearStatusRange(first, GetEntryCount(), which);
  ForEachProjectView([](IProjectView& view) { view.RedrawList(); });
  UpdateSelectedCount(-1);
}

void CPostridrDoc::UpdateSelectedCount(int count) {
  ShowSelectedCount(count);
  SetModifiedFlag(!IsReadOnly());
}

void CPostridrDoc::ShowSelectedCount(int count) {
  if (count < 0) count = marks_.CountSelected(GetEntryCount());
  selectedCount_ = count;
  if (frame_ != nullptr) frame_->ShowSelectedCount(count);
}

}  // namespace postrider
