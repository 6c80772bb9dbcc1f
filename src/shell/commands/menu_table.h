// The menus, buttons and shortcuts of the main window as data. The window
// builds its menu bar from this table and the command dispatch reads the
// transfer of each instrument command from it, so the two cannot drift apart.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "records/device_types.h"

namespace skylode {

struct MenuItem {
  int id = 0;                  // 0: a separator
  std::string_view text;       // '&' marks the mnemonic, "&&" is a literal '&'
  std::string_view shortcut;   // "Ctrl+G", "Ctrl+Alt+T" (Qt key sequence form), or empty
  bool checkable = false;
  bool alwaysDisabled = false; // shown, never enabled
};

struct Menu {
  std::string_view title;
  std::span<const MenuItem> items;
};

struct ButtonEntry {
  int id;
  std::string_view text;
};

struct ExtraShortcut {
  int id;
  std::string_view shortcut;
};

// What an instrument command starts.
struct TransferBinding {
  AccessType access;
  ProtocolType protocol;
  uint32_t baudRate = 0;  // 0: the protocol's own speed
  int32_t parameter = 0;  // waypoint upload mode: 0 all, 1 name, 2 ID and name, 3 ID
};

std::span<const Menu> MainMenus();
std::span<const ButtonEntry> MainButtons();
// Accelerators without a menu entry.
std::span<const ExtraShortcut> ExtraShortcuts();

const MenuItem* FindMenuItem(int id);
// Nothing for commands that do not start a transfer directly.
std::optional<TransferBinding> TransferBindingOf(int id);

}  // namespace skylode
