#include "shell/commands/menu_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "shell/commands/command_ids.h"

namespace skylode {
namespace {

// The window builds its menus, accelerators and buttons from these tables;
// a duplicate id or shortcut would make one command unreachable.
TEST(MenuTableTest, IdsAndShortcutsAreUnique) {
  std::set<int> ids;
  std::map<std::string, int> shortcuts;
  for (const Menu& menu : MainMenus()) {
    for (const MenuItem& item : menu.items) {
      if (item.id == 0) continue;
      EXPECT_TRUE(ids.insert(item.id).second) << item.id;
      if (!item.shortcut.empty()) {
        EXPECT_TRUE(shortcuts.emplace(std::string(item.shortcut), item.id).second) << item.shortcut;
      }
    }
  }
  for (const ExtraShortcut& s : ExtraShortcuts()) {
    EXPECT_FALSE(ids.count(s.id)) << s.id;
    EXPECT_FALSE(shortcuts.count(std::string(s.shortcut))) << s.shortcut;
  }
  for (const ButtonEntry& b : MainButtons()) {
    EXPECT_TRUE(ids.count(b.id) || b.id == cmd::kSaveLogButton) << b.text;
  }
}

TEST(MenuTableTest, EntriesNameTheirCommands) {
  struct Case {
    int id;
    const char* text;
    const char* shortcut;
  } cases[] = {
      {cmd::kReadGarmin, "Read &Garmin", "Ctrl+G"},
      {cmd::kReadTopNavigator, "Read Top Navigator (TNCM)", "Ctrl+Alt+T"},
      {cmd::kViewCtr, "&CTR", "Ctrl+4"},
      {cmd::kListLarge, "Set &large list size", "Ctrl+Alt+2"},
      {cmd::kUsbCompCheckWaypoints, "USB && comp. mode: Check wpts", ""},
  };
  for (const auto& c : cases) {
    const MenuItem* item = FindMenuItem(c.id);
    ASSERT_NE(item, nullptr) << c.id;
    EXPECT_EQ(item->text, c.text);
    EXPECT_EQ(item->shortcut, c.shortcut);
  }
  EXPECT_TRUE(FindMenuItem(cmd::kLogFilter)->checkable);
  EXPECT_TRUE(FindMenuItem(cmd::kReadGraviterLast)->alwaysDisabled);
  EXPECT_EQ(FindMenuItem(cmd::kCopyTrackPoints), nullptr);
}

TEST(MenuTableTest, EveryInstrumentCommandIsInAMenu) {
  for (const Menu& menu : MainMenus()) {
    for (const MenuItem& item : menu.items) {
      if (auto b = TransferBindingOf(item.id)) {
        EXPECT_LT(static_cast<int>(b->access), kAccessTypeCount);
        EXPECT_LT(static_cast<int>(b->protocol), kProtocolTypeCount);
      }
    }
  }
  for (int id = 40000; id < 40200; ++id) {
    if (TransferBindingOf(id)) {
      EXPECT_NE(FindMenuItem(id), nullptr) << id;
    }
  }
}

}  // namespace
}  // namespace skylode
