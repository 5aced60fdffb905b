#pragma once

#include <span>
#include <string_view>

namespace postrider {

// One entry of a menu: a command, or a separator (id 0).
struct MenuEntry {
  int id = 0;
  // "&New\tCtrl+N": the mnemonic after '&', the shortcut after the tab.
  std::string_view text;
};

struct MenuSpec {
  std::string_view title;
  std::span<const MenuEntry> entries;
};

// The menu bar, left to right.
std::span<const MenuSpec> MainMenus();

// The toolbar, left to right; 0 is a separator.
std::span<const int> ToolbarCommands();

// Keys of a command in QKeySequence's portable form, the one shown in the
// menu first; empty for a command without keys.
std::span<const std::string_view> CommandKeys(int id);

// The status-bar prompt while the command's menu item or button is highlighted.
std::string_view CommandPrompt(int id);

// What assistive technology calls the command's toolbar button ("Send").
std::string_view CommandName(int id);

}  // namespace postrider
