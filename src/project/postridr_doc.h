#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/status.h"
#include "platform/user_prompts.h"
#include "project/document_views.h"
#include "project/entry_marks.h"
#include "project/list_source_type.h"
#include "project/mailing_list.h"
#include "project/message_file.h"
#include "project/project_file.h"
#include "project/project_lock.h"
#include "project/project_wizard.h"
#include "project/selected_addresses.h"
#include "project/send_journal.h"

namespace postrider {

// One list entry as read from the list file, with its mark.
struct ListRecord {
  int selection = 0;   // the mark's bit 7: 0 or 128
  int sendStatus = 0;  // the mark's bits 0-3
  std::vector<std::string> values;  // at most 25, in list field order

  // A record shorter than the list has empty values for the missing fields.
  const std::string& ValueAt(int field) const;
};

enum QueryJoin : int { QueryJoinNone = -1, QueryJoinAnd = 0, QueryJoinOr = 1 };

// How the document holds the projects it opens and saves.
enum class ProjectAccess {
  // Takes no lock and looks at none: one document in a test or a benchmark.
  Unlocked,
  // Looks only: never saves or sends, and notes who has the project open
  // for writing.
  ReadOnly,
  // One project, one writer: holds the project's lock from Open (or the
  // first Save) until it lets the project go. A project another program
  // holds does not open.
  Exclusive,
  // As Exclusive, but a project another program holds opens read-only: it
  // can be looked at and previewed, and nothing more.
  ExclusiveOrReadOnly,
};

// The project document: which letter, which mailing list and which of its
// fields holds the address, with the per-entry marks. It talks to its views,
// the main window and the user only through interfaces, so it runs without a
// display.
class CPostridrDoc {
 public:
  CPostridrDoc();
  ~CPostridrDoc();
  CPostridrDoc(const CPostridrDoc&) = delete;
  CPostridrDoc& operator=(const CPostridrDoc&) = delete;

  // Wiring. None of them is owned; any may be absent.
  void SetMainFrame(IMainFrame* frame) { frame_ = frame; }
  void SetPrompts(IUserPrompts* prompts) { prompts_ = prompts; }
  // For the projects opened or made from now on.
  void SetProjectAccess(ProjectAccess access) { access_ = access; }
  void AddView(IProjectView* view);
  void AddView(IMessageView* view);
  void RemoveView(IProjectView* view);
  void RemoveView(IMessageView* view);

  // Life cycle.
  bool OnNewDocument(IProjectWizardPages& pages);
  bool OnOpenDocument(const std::string& path);
  // Writes the letter, the entry state file and the project file. A failure is
  // shown to the user and returned; the project then stays modified.
  Status OnSaveDocument(const std::string& path);
  void DeleteContents();
  // Takes the message view's contents, then asks to save a modified project.
  bool CanCloseFrame();
  // Save or Save As: an empty path asks the user for one.
  bool DoSave(const std::string& path);
  bool SaveModified();
  bool RunProjectWizard(IProjectWizardPages& pages);
  void ResetProjectStorage();
  void RefreshViews();
  // Every message view stores its working copy into the document.
  void UpdateFromMessageViews();
  // Puts "[[name]]" of list field `fieldIndex` into every message view at its caret.
  void InsertMergeField(int fieldIndex);
  // Puts text (an attachment line) at the very start of every message view's
  // text, wherever its caret is.
  void InsertAtMessageStart(const std::string& text);

  // What could not be read when the project last opened: one line each.
  const std::vector<std::string>& GetLoadProblems() const { return loadProblems_; }

  void SetModifiedFlag(bool modified = true) { modified_ = modified; }
  bool IsModified() const { return modified_; }
  // Nothing of a read-only project can be changed, saved or sent.
  bool IsReadOnly() const { return !readOnlyReason_.empty(); }
  // Why the project is read-only ("postrider-cli (process 1234) has ..."); empty when it is not.
  const std::string& GetReadOnlyReason() const { return readOnlyReason_; }
  const std::string& GetPathName() const { return pathName_; }
  // The name the window title and the save prompt show.
  std::string GetTitle() const;

  // The letter.
  const std::string& GetToValue() const { return message_.to; }
  const std::string& GetSubject() const { return message_.subject; }
  void SetSubject(const std::string& subject) { message_.subject = subject; }
  const std::string& GetBody() const { return message_.body; }
  void SetBody(const std::string& body) { message_.body = body; }
  int GetEmailFieldIndex() const { return emailFieldIndex_; }
  // The field's name goes with it, so the project finds it again if the
  // list's columns move.
  void SetEmailFieldIndex(int index);
  Status ReadMessageFile();
  // How the messages are made (format, subject fields, Cc, Bcc, Reply-To,
  // unsubscribe). A change marks the project modified.
  const LetterOptions& GetLetterOptions() const { return letterOptions_; }
  void SetLetterOptions(const LetterOptions& options);

  // The entry state file.
  Status ReadEntryStateFile();

  // The mailing list.
  bool ReadListHeader(const std::string& path);
  bool LoadList(const std::string& path);
  // Reuses the record's strings. Const so that a list pane can read rows on
  // demand while it paints. False, with no values, for an entry that is part
  // of a value with a line break: its values are not its own, so nothing is
  // merged from it or sent to it.
  bool ReadListRecord(int index, ListRecord& record) const;
  const std::vector<std::string>& GetFieldNames() const { return fieldNames_; }
  int GetFieldCount() const { return static_cast<int>(fieldNames_.size()); }
  int GetEntryCount() const { return list_.entryCount(); }
  // What the list file holds beyond the limits and the project leaves out:
  // records past the 32000th, fields past the 25th. 0 when nothing is.
  std::int64_t GetRecordsLeftOut() const;
  int GetFieldsLeftOut() const;
  // A line for each, as the project tells when it opens, and one naming the
  // entries left unread as parts of values with line breaks; empty when
  // nothing is left out. Every summary of the list repeats it.
  std::string LeftOutListPartsText() const;

  // Selection and send status.
  // An index outside the list is not selected and has no status.
  int IsEntrySelected(int index) const {
    return IsListEntry(index) && marks_.IsSelected(index) ? 1 : 0;
  }
  int GetEntryStatus(int index) const { return IsListEntry(index) ? marks_.Status(index) : 0; }
  void SetEntryStatus(int index, int status);
  void ToggleEntrySelection(int index);
  void SelectAll();
  void UnselectAll();
  void ClearStatus(int first, StatusClearing which = StatusClearing::kEveryEntry);
  // A negative count recounts the marks.
  void UpdateSelectedCount(int count);
  int GetSelectedCount() const { return selectedCount_; }
  const EntryMarks& GetEntryMarks() const { return marks_; }

  // Replaces the selection by the entries that meet one or two conditions.
  void SelectOnQuery(int firstField, int firstOperator, const std::string& firstValue, int join,
                     int secondField, int secondOperator, const std::string& secondValue);

  // Project keys.
  const std::string& GetMessageFilePath() const { return messageFilePath_; }
  const std::string& GetListFilePath() const { return listFilePath_; }
  int GetListSourceType() const { return listSourceType_; }
  // A text list the project names could not be read: it shows no entries,
  // though it may hold some.
  bool ListUnread() const { return IsTextListType(listSourceType_) && !list_.IsOpen(); }
  const std::string& GetEmailFieldName() const { return emailFieldName_; }
  const std::string& GetEntryStateFilePath() const { return entryStateFilePath_; }
  int GetLastIndexSent() const { return lastIndexSent_; }
  void SetLastIndexSent(int index) { lastIndexSent_ = index; }
  // SHA-256 of the mailing list as loaded; empty when no list is open.
  const std::string& GetListDigest() const { return list_.contentDigest(); }
  // Whether the list file still holds what its entries were read from.
  Status CheckListUnchanged() const { return list_.CheckFileUnchanged(); }
  // Whether a read of the list has seen the file written to since it was
  // opened: entries read since may hold other people's values.
  bool ListChangedSinceOpen() const { return list_.changedSinceOpen(); }
  std::string ListChangedText() const { return list_.ChangedText(); }
  // Entry `index`'s recipient as a send addresses it (UTF-8), "" when there is none.
  std::string GetRecipientAddress(int index) const;
  // The same into `address`, with `scratch` for a line that has to be split:
  // a caller going through many entries reuses both.
  void ReadRecipientAddress(int index, std::vector<std::string>& scratch,
                            std::string& address) const;

  // The send journal: where this project's send runs record their outcomes
  // until a Save takes them in. Beside the project file ("june.prj.journal");
  // for a project without a name, under $XDG_STATE_HOME/postrider/ until its
  // first Save, which takes it in and removes it like any other. Opening a
  // project applies its journal's outcomes and tells the user; Save folds the
  // journal in and removes it once the entry state file is on disk.
  std::string GetSendJournalPath();
  // What a journal written now belongs to.
  JournalIdentity GetJournalIdentity() const;
  // For the send run: the journal, opened to add a run to. Refused while one
  // this project could not apply when it opened is there: it is kept.
  Result<std::unique_ptr<SendJournal>> OpenSendJournal();
  // The journal this project could not apply when it opened, while it is
  // still there: the entries its runs reached are not marked sent. Empty
  // when there is none.
  std::string UnappliedSendJournal();
  // Who the selection chooses when it is not the one saved (nor the one
  // found again by address when the project opened), for a run's journal;
  // nothing when it is that one.
  std::optional<ChosenRows> UnsavedSelection() const;
  // Whether a run's outcomes can be kept: the journal can be written, and the
  // project file and its entry state file can be saved. Asked before a run
  // whose project is saved right after it.
  Status CheckSendOutcomesWritable();

 private:
  // Counts and shows the selected entries without marking the project changed.
  void ShowSelectedCount(int count);
  // Puts the journal a Save As carries beside the new name; says so when it cannot.
  Status FinishJournalMove(std::optional<SendJournalMove>& journalMove);
  // Applies the journal beside the project being opened; what to tell the user.
  std::string ApplySendJournal(const std::string& projectPath);
  // The record of the selection as the project opens, read once.
  using SelectedOnDisk = Result<std::optional<SelectedAddresses>>;
  // When the list is not the one the marks were saved for: finds the entries
  // marked sent again by address. What to tell the user.
  std::string RematchMarksToChangedList(const SelectedOnDisk& selected);
  // Selects again, by address, the entries selected when the marks were
  // saved (marksDigest: theirs as read). columnKnown: the sent marks showed
  // the column to be the one they were saved for. The notice's sentence.
  std::string RematchSelection(const std::string& marksDigest, bool columnKnown,
                               const SelectedOnDisk& selected);
  // Whether the marks as read (marksDigest) chose the list whole: as their
  // record says, or, without one for them, when every entry is selected.
  bool SelectionChosenWhole(const SelectedOnDisk& selected, const std::string& marksDigest) const;
  bool EveryEntrySelected() const {
    return GetEntryCount() > 0 && marks_.CountSelected(GetEntryCount()) == GetEntryCount();
  }
  // Takes back the bad address marks an older program's run may have set
  // where it read a row's address otherwise (marksOnDisk: the marks as read
  // from their file). The notice's text.
  std::string ClearBadMarksOfOlderReading(const std::string& marksOnDisk);
  // The email field's stored name names no field of the list, and another
  // column stands at its place.
  bool EmailFieldNameGone() const;
  // The name of the column the recipients' addresses are read from, "" for none.
  std::string EmailColumnName() const;
  // The first column named `name` when it is not the email field's: outcomes
  // recorded for the column a run mailed (the email column deleted then, and
  // put back since) are found again there. -1 for none.
  int OtherColumnNamed(const std::string& name) const;
  // Entry `index`'s address in column `column`, or the recipient's for -1.
  std::string AddressInColumn(int index, int column) const;
  // What the record of the selection knows an entry's values by.
  std::string RowDigest(int index) const;
  // Each selected entry's address (where it has one) and row digest, in list
  // order, as the record of the selection names them.
  void ForEachSelectedRow(const SelectedRowSink& add) const;
  // Selects the entries `chosen` names, as the record of the selection's
  // people are found again (addresses in `column`, -1 for the email field's).
  void SelectChosenRows(EntryMarks& marks, const ChosenRows& chosen, int column) const;
  // The selection as saved (or as opening found it again) is on disk.
  void NoteSelectionOnDisk();
  // The addresses of the entries marked sent, to be saved with the marks.
  Status WriteSentAddressesFor(AtomicFileGroup& files, const std::string& entryStatePath);
  // The addresses of the selected entries, likewise.
  Status WriteSelectedAddressesFor(AtomicFileGroup& files, const std::string& entryStatePath);
  // Takes the project's lock as the access asks; false when the project
  // must not open (another program holds it, and this document may not
  // open it read-only).
  bool LockForOpening(const std::string& projectPath);
  // The lock a save to projectPath needs, taken if not held yet; a failure
  // when another program holds that project.
  Result<std::unique_ptr<ProjectLock>> LockForSaving(const std::string& projectPath);
  // Lets go of the project's lock and of being read-only, for a new project.
  void ReleaseProject();
  Status ReadOnlyRefusal() const;
  void FoldSendJournals(const std::string& previousPath, const std::string& savedPath);
  void ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::None);
  void TellAboutLeftOutListParts();
  void NotifyListAboutToChange();
  void NotifyEntryMarkChanged(int index);
  bool IsListEntry(int index) const { return index >= 0 && index < GetEntryCount(); }
  // Notes what the loaded list contradicts in the project file, and shows
  // every notice of the opening in one box.
  void CheckProjectAgainstList();
  // The email field by its name, before anything is matched by address;
  // what to tell the user.
  std::string CheckEmailFieldAgainstList();
  void ShowNotices();
  // Before the letter is written: whether the file still holds what this
  // document read or wrote, or the user says to replace what is there now.
  // The error when the save must not go on.
  Status CheckLetterNotChangedElsewhere(const std::string& messagePath);
  Status CheckSaveTargets(const std::string& projectPath, const std::string& messagePath,
                          const std::string& entryStatePath) const;
  template <typename Fn>
  void ForEachProjectView(Fn fn) const {
    for (IProjectView* view : projectViews_) fn(*view);
  }
  template <typename Fn>
  void ForEachMessageView(Fn fn) const {
    for (IMessageView* view : messageViews_) fn(*view);
  }

  IMainFrame* frame_ = nullptr;
  IUserPrompts* prompts_ = nullptr;
  ProjectAccess access_ = ProjectAccess::Unlocked;
  std::unique_ptr<ProjectLock> lock_;
  std::string readOnlyReason_;
  // Who has the project open for writing, seen by a document that only looks.
  std::optional<LockHolder> otherWriter_;
  std::vector<IProjectView*> projectViews_;
  std::vector<IMessageView*> messageViews_;

  std::string pathName_;
  bool modified_ = false;

  std::string messageFilePath_;
  std::string listFilePath_;
  int listSourceType_ = DBTypeNone;
  std::string emailFieldName_;
  int emailFieldIndex_ = -1;
  std::string entryStateFilePath_;
  int lastIndexSent_ = 0;
  LetterOptions letterOptions_;
  ProjectFileKeys storedKeys_;  // the keys as the project file held them

  std::vector<std::string> loadProblems_;
  // A letter or entry state file that exists but could not be read is not
  // written over with the empty contents that stand in for it.
  bool letterUnread_ = false;
  bool marksUnread_ = false;
  // What the user is told when the project opens (a letter without its header
  // lines, a list with no entries, an email field that moved); the project is
  // usable all the same.
  std::vector<std::string> notices_;
  std::string emailFieldNotice_;  // found early, told in its place among the notices
  // The letter as its file holds it: a letter is written only when it changed,
  // since writing gives it the program's own header lines.
  MessageContents letterOnDisk_;
  bool letterRead_ = false;
  // What the letter's file held when last read or written (absent for a new
  // letter not there yet), so that a save does not write over what another
  // program put there since without asking; nothing when it could not be read.
  std::optional<LetterFileStamp> letterStamp_;
  // A journal lies at the journal path that this document did not take in.
  bool unappliedJournal_ = false;
  std::string untitledJournalPath_;

  MessageContents message_;
  std::vector<std::string> fieldNames_;
  MailingList list_;
  EntryMarks marks_;
  mutable std::vector<std::string> rowScratch_;  // RowDigest's, reused row after row
  // Recipients mailed whom no entry holds now; saved with the sent
  // addresses, so that an entry coming back with one is known as sent.
  std::vector<std::string> sentNotInList_;
  // The sentence the list's notice gave the selection found again, and
  // whether the journal gave back a run's own selection since, which the
  // user is told of instead.
  std::string rematchedSelectionSentence_;
  bool journalGaveSelection_ = false;
  int selectedCount_ = 0;
  // The list chosen whole (Select All), not every row merely happening to be
  // selected: rows put in since are chosen too.
  bool selectionWhole_ = false;
  // The selection as on disk, to tell one chosen since and not saved.
  EntryMarks selectionOnDisk_;
  bool selectionWholeOnDisk_ = false;
};

}  // namespace postrider
