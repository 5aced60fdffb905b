#include "app/command_table.h"

#include <array>

#include "app/command_ids.h"

namespace postrider {

namespace {

using namespace commands;

constexpr MenuEntry kFileMenu[] = {
    {kFileNew, "&New\tCtrl+N"},
    {kFileOpen, "&Open...\tCtrl+O"},
    {kFileSave, "&Save\tCtrl+S"},
    {kFileSaveAs, "Save &As..."},
    {0, {}},
    {kConfigure, "&Configure..."},
    {0, {}},
    {kRecentFileFirst, "Recent &File"},
    {0, {}},
    {kAppExit, "E&xit\tCtrl+Q"},
};

constexpr MenuEntry kEditMenu[] = {
    {kEditUndo, "&Undo\tCtrl+Z"},
    {kEditCut, "Cu&t\tCtrl+X"},
    {kEditCopy, "&Copy\tCtrl+C"},
    {kEditPaste, "&Paste\tCtrl+V"},
};

constexpr MenuEntry kMessageMenu[] = {
    {kSend, "&Send"},
    {kPause, "&Pause"},
    {0, {}},
    // A submenu of the list's fields, the items of the insert-field menu.
    {kShowFieldMenu, "&Insert Field"},
    {kAttach, "&Attach..."},
    {kPreview, "Pre&view"},
    {kLetterOptions, "Letter &Options..."},
};

constexpr MenuEntry kListMenu[] = {
    {kSelectAll, "Select &All"},
    {kUnselectAll, "&UnSelect All"},
    {kSelectOnQuery, "Select on &Query..."},
    {0, {}},
    {kClearStatus, "&Clear Status"},
};

constexpr MenuEntry kViewMenu[] = {
    {kViewToolbar, "&Toolbar"},
    {kViewStatusBar, "&Status Bar"},
};

constexpr MenuEntry kHelpMenu[] = {
    {kHelpContents, "&Contents"},
    {0, {}},
    {kAppAbout, "&About Postrider..."},
};

constexpr MenuSpec kMenus[] = {
    {"&File", kFileMenu}, {"&Edit", kEditMenu}, {"&Message", kMessageMenu},
    {"&List", kListMenu},  {"&View", kViewMenu}, {"&Help", kHelpMenu},
};

constexpr int kToolbar[] = {kFileNew, kFileOpen, kFileSave, 0, kShowFieldMenu, kAttach, 0, kSend, kPause, kPreview};

struct CommandText {
  int id;
  std::string_view name;
  std::string_view prompt;
};

constexpr std::string_view kOpenRecent = "Open this document";
constexpr std::string_view kInsertField = "Insert list field in the current message";

constexpr CommandText kTexts[] = {
    {kFileNew, "New", "Create a new document"},
    {kFileOpen, "Open", "Open an existing document"},
    {kFileSave, "Save", "Save the active document"},
    {kFileSaveAs, "Save As", "Save the active document with a new name"},
    {kConfigure, "Configure", "Change the sender, return address and server settings"},
    {kAppExit, "Exit", "Quit the application; prompts to save documents"},
    {kEditUndo, "Undo", "Undo the last action"},
    {kEditCut, "Cut", "Cut the selection and put it on the Clipboard"},
    {kEditCopy, "Copy", "Copy the selection and put it on the Clipboard"},
    {kEditPaste, "Paste", "Insert Clipboard contents"},
    {kSend, "Send", "Start or resume send"},
    {kPause, "Pause", "Halt the current send"},
    {kAttach, "Attach", "Attach a file to the current message"},
    {kPreview, "Preview", "Show the message the current entry would get"},
    {kLetterOptions, "Letter Options",
     "Set the format, the subject's fields, copies, Reply-To and unsubscribe headers"},
    {kSelectAll, "Select All", "Select all list items"},
    {kUnselectAll, "UnSelect All", "Unselect all list items"},
    {kSelectOnQuery, "Select on Query", "Select items based on list query"},
    {kClearStatus, "Clear Status", "Clear list status flags"},
    {kShowFieldMenu, "Insert List Field", kInsertField},
    {kHelpContents, "Help Contents", "List Help topics"},
    {kAppAbout, "About Postrider", "Display program information, version number and copyright"},
    {kViewToolbar, "Toolbar", "Show or hide the toolbar"},
    {kViewStatusBar, "Status Bar", "Show or hide the status bar"},
    {kNextPane, "Next Pane", "Switch to the next window pane"},
    {kPrevPane, "Previous Pane", "Switch back to the previous window pane"},
};

struct CommandKeyList {
  int id;
  std::span<const std::string_view> keys;
};

constexpr std::string_view kNewKeys[] = {"Ctrl+N"};
constexpr std::string_view kOpenKeys[] = {"Ctrl+O"};
constexpr std::string_view kSaveKeys[] = {"Ctrl+S"};
constexpr std::string_view kUndoKeys[] = {"Ctrl+Z", "Alt+Backspace"};
constexpr std::string_view kCutKeys[] = {"Ctrl+X", "Shift+Del"};
constexpr std::string_view kCopyKeys[] = {"Ctrl+C", "Ctrl+Ins"};
constexpr std::string_view kPasteKeys[] = {"Ctrl+V", "Shift+Ins"};
constexpr std::string_view kExitKeys[] = {"Ctrl+Q"};
constexpr std::string_view kInsertFieldKeys[] = {"Ctrl+I"};
constexpr std::string_view kNextPaneKeys[] = {"F6"};
constexpr std::string_view kPrevPaneKeys[] = {"Shift+F6"};

constexpr CommandKeyList kKeys[] = {
    {kFileNew, kNewKeys},         {kFileOpen, kOpenKeys},       {kFileSave, kSaveKeys},
    {kEditUndo, kUndoKeys},       {kEditCut, kCutKeys},         {kEditCopy, kCopyKeys},
    {kEditPaste, kPasteKeys},     {kNextPane, kNextPaneKeys},   {kPrevPane, kPrevPaneKeys},
    {kAppExit, kExitKeys},        {kShowFieldMenu, kInsertFieldKeys},
};

const CommandText* FindTexts(int id) {
  for (const CommandText& texts : kTexts) {
    if (texts.id == id) return &texts;
  }
  return nullptr;
}

}  // namespace

std::span<const MenuSpec> MainMenus() { return kMenus; }

std::span<const int> ToolbarCommands() { return kToolbar; }

std::span<const std::string_view> CommandKeys(int id) {
  for (const CommandKeyList& keys : kKeys) {
    if (keys.id == id) return keys.keys;
  }
  return {};
}

std::string_view CommandPrompt(int id) {
  if (id >= kRecentFileFirst && id <= kRecentFileLast) return kOpenRecent;
  if (id >= kInsertFieldFirst && id <= kInsertFieldLast) return kInsertField;
  const CommandText* texts = FindTexts(id);
  return texts != nullptr ? texts->prompt : std::string_view();
}

std::string_view CommandName(int id) {
  const CommandText* texts = FindTexts(id);
  return texts != nullptr ? texts->name : std::string_view();
}

}  // namespace postrider
