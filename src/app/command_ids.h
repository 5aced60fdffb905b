#pragma once

// Every user command has one number, whichever way it arrives (menu, toolbar,
// keyboard); the command table routes it by that number.
namespace postrider::commands {

inline constexpr int kFileNew = 57600;
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileSave = 57603;
inline constexpr int kFileSaveAs = 57604;
inline constexpr int kRecentFileFirst = 57616;  // 57616 to 57619
inline constexpr int kRecentFileLast = 57619;
// Opens the current project again from its files (the list-changed bar's button).
inline constexpr int kFileReopen = 32785;
inline constexpr int kAppExit = 57665;
inline constexpr int kConfigure = 32771;

inline constexpr int kEditUndo = 57643;
inline constexpr int kEditCut = 57635;
inline constexpr int kEditCopy = 57634;
inline constexpr int kEditPaste = 57637;

inline constexpr int kSend = 32772;
inline constexpr int kPause = 32775;
inline constexpr int kAttach = 32776;
inline constexpr int kPreview = 32783;
inline constexpr int kLetterOptions = 32784;

inline constexpr int kSelectAll = 32777;
inline constexpr int kUnselectAll = 32778;
inline constexpr int kSelectOnQuery = 32779;
inline constexpr int kClearStatus = 32780;
inline constexpr int kShowFieldMenu = 32781;

inline constexpr int kInsertFieldFirst = 103;  // 103 to 127, one per list field
inline constexpr int kInsertFieldLast = 127;

inline constexpr int kHelpContents = 32782;
inline constexpr int kAppAbout = 57664;

inline constexpr int kViewToolbar = 59392;
inline constexpr int kViewStatusBar = 59393;
inline constexpr int kNextPane = 57680;
inline constexpr int kPrevPane = 57681;

}  // namespace postrider::commands
