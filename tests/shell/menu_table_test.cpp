#include "shell/commands/menu_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <set>
#include <string>

#include "shell/commands/command_ids.h"
#include "family_commands.h"

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

// The menu bar the families' rows and the shell's own entries make together,
// against the one people and scripts know: a row placed in the wrong group,
// or a family dropped from the table, moves or loses entries.
TEST(MenuTableTest, MenuBarIsTheKnownOne) {
  std::string text;
  auto line = [&text](const char* format, auto... values) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, values...);
    text += buf;
  };
  for (const Menu& m : MainMenus()) {
    line("MENU %s\n", std::string(m.title).c_str());
    for (const MenuItem& i : m.items) {
      if (i.id == 0) {
        text += "  ----\n";
        continue;
      }
      line("  %d|%s|%s|%d|%d", i.id, std::string(i.text).c_str(), std::string(i.shortcut).c_str(),
           static_cast<int>(i.checkable), static_cast<int>(i.alwaysDisabled));
      if (auto b = TransferBindingOf(i.id))
        line("|bind %d %d %u %d", static_cast<int>(b->access), static_cast<int>(b->protocol), b->baudRate,
             b->parameter);
      text += "\n";
    }
  }
  for (const ButtonEntry& b : MainButtons()) line("BUTTON %d|%s\n", b.id, std::string(b.text).c_str());
  for (const ExtraShortcut& e : ExtraShortcuts()) line("EXTRA %d|%s\n", e.id, std::string(e.shortcut).c_str());
  std::ifstream in(SKYLODE_TEST_DATA "/menus/main-window.txt");
  ASSERT_TRUE(in) << "missing tests/data/menus/main-window.txt";
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(text, expected.str());
}

}  // namespace
}  // namespace skylode
