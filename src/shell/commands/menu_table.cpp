#include "shell/commands/menu_table.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "protocols/family.h"
#include "shell/commands/command_ids.h"

namespace skylode {

namespace {

constexpr MenuItem kSeparator{};

constexpr MenuItem kFile[] = {
    {cmd::kSaveLog, "&Save log (Aerodiary/.kml)", "Ctrl+S"},
    {cmd::kSaveLogAs, "Save log &As...", ""},
    {cmd::kOpenLog, "&Open log...", "Ctrl+O"},
    kSeparator,
    {cmd::kSaveWaypointsAs, "Save wpts. A&s...", ""},
    {cmd::kOpenWaypoints, "Open &wpts...", "Ctrl+W"},
    kSeparator,
    {cmd::kSaveIgc, "Save log in &IGC format", "Ctrl+I"},
    {cmd::kSaveRawIgc, "Save IGC log from &GPS", ""},
    {cmd::kVerifyIgc, "&Verify IGC log from Skylode", "Ctrl+V"},
    kSeparator,
    {cmd::kAddIgcToCompOut, "Add IGC file to &comp. output", "", true},
    {cmd::kSavePilotListCsv, "Save &pilot list as .csv", ""},
    kSeparator,
    {cmd::kExit, "E&xit", ""},
};

constexpr MenuItem kEdit[] = {
    {cmd::kNewWaypoint, "&New waypoint", ""},
    {cmd::kEditWaypoint, "&Edit waypoint", ""},
    {cmd::kDeleteWaypoints, "&Delete waypoint(s)", ""},
    kSeparator,
    {cmd::kConvertPosition, "Convert &Position", ""},
    {cmd::kCalculateDistance, "Calculate d&istance", ""},
    kSeparator,
    {cmd::kSelectAll, "Select &all", "Ctrl+A"},
};

// The shell's own entries of the menus the families add to, with their
// places among the families' entries (a new hundred: a separator before).
struct PlacedItem {
  int position;
  MenuItem item;
};

constexpr PlacedItem kCtrOwn[] = {
    {300, {cmd::kReadCtrFile, "&Read CTR(s) from file", ""}},
    {301, {cmd::kWriteCtrFile, "&Write CTR(s) to file", ""}},
    {302, {cmd::kWriteCtrGpx, "Write CTR(s) to .g&px file", ""}},
    {400, {cmd::kEditCtr, "&Edit CTR", ""}},
    {401, {cmd::kNewCtr, "&New CTR", ""}},
    {402, {cmd::kDeleteCtr, "&Delete CTR(s)", ""}},
    {403, {cmd::kShowCtrAsWaypoints, "&Show CTR as waypoints", ""}},
};

constexpr PlacedItem kMiscOwn[] = {
    {100, {cmd::kSetComPort, "Set &COM port", ""}},
    {200, {cmd::kFlightStatistics, "Get flight &statistics", ""}},
    {201, {cmd::kRotateTrack, "&Rotate Track", ""}},
    {202, {cmd::kSetLoopFlightGap, "Set &loop flight gap", ""}},
    {203, {cmd::kLogFilter, "&Track log filter (speed analysis)", "", true}},
    {204, {cmd::kSetTrackGapTime, "Set track &gap filter time", ""}},
    {205, {cmd::kOlcIgcBuffer, "&OLC statistics (use IGC buffer)", ""}},
    {206, {cmd::kOlcSelected, "OLC statistics (use selected &pos.)", ""}},
    {900, {cmd::kCompetitionMode, "Co&mpetition Mode", ""}},
};

constexpr MenuItem kView[] = {
    {cmd::kViewTrackLog, "&Tracklog", "Ctrl+1"},
    {cmd::kViewWaypoints, "&Waypoints", "Ctrl+2"},
    {cmd::kViewPilots, "&Pilot List", "Ctrl+3"},
    {cmd::kViewCtr, "&CTR", "Ctrl+4"},
    kSeparator,
    {cmd::kShowTrack, "&Show track", ""},
    {cmd::kFlightView, "&Flight view", "Ctrl+Alt+F"},
    kSeparator,
    {cmd::kListSmall, "Set s&mall list size", "Ctrl+Alt+0"},
    {cmd::kListDefault, "Set &default list size", "Ctrl+Alt+1"},
    {cmd::kListLarge, "Set &large list size", "Ctrl+Alt+2"},
};

constexpr MenuItem kHelp[] = {
    {cmd::kAbout, "&About Skylode", ""},
    kSeparator,
    {cmd::kDumpDebug, "&Dump Debug Data", ""},
    {cmd::kClearDebug, "&Clear Debug Data", ""},
    {cmd::kTest, "&Test", ""},
};

// The buttons the shell adds after the families' ones.
constexpr ButtonEntry kOwnButtons[] = {
    {cmd::kSaveLogButton, "Save log (Aerodiary)"},
    {cmd::kExit, "Exit"},
};

constexpr ExtraShortcut kExtraShortcuts[] = {
    {cmd::kCopyTrackPoints, "Ctrl+C"},
    {cmd::kToggleCompSpecial, "Ctrl+Alt+C"},
    {cmd::kToggleCompSpecial, "Ctrl+Shift+C"},
};

// A menu the families add to: the shell's entries and theirs in the order
// of their places, with a separator wherever the hundred changes.
std::vector<MenuItem> MergeMenu(FamilyMenu which, std::span<const PlacedItem> own) {
  std::vector<PlacedItem> placed(own.begin(), own.end());
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const FamilyCommand& c : family->commands) {
      if (c.menu == which) placed.push_back({c.position, {c.id, c.text, c.shortcut, false, c.alwaysDisabled}});
    }
    for (const FamilyToggle& t : family->toggles) {
      if (t.menu == which) placed.push_back({t.position, {t.id, t.text, "", true}});
    }
  }
  std::stable_sort(placed.begin(), placed.end(),
                   [](const PlacedItem& a, const PlacedItem& b) { return a.position < b.position; });
  std::vector<MenuItem> items;
  for (size_t i = 0; i < placed.size(); ++i) {
    if (i > 0 && placed[i].position / 100 != placed[i - 1].position / 100) items.push_back(kSeparator);
    items.push_back(placed[i].item);
  }
  return items;
}

struct MenuBar {
  std::vector<MenuItem> logs, wpts, ctr, misc;
  std::vector<Menu> menus;
  std::vector<ButtonEntry> buttons;
};

const MenuBar& Bar() {
  static const MenuBar bar = [] {
    MenuBar b;
    b.logs = MergeMenu(FamilyMenu::kLogs, {});
    b.wpts = MergeMenu(FamilyMenu::kWpts, {});
    b.ctr = MergeMenu(FamilyMenu::kCtr, kCtrOwn);
    b.misc = MergeMenu(FamilyMenu::kMisc, kMiscOwn);
    b.menus = {{"&File", kFile}, {"&Edit", kEdit}, {"&Logs", b.logs}, {"&Wpts", b.wpts},
               {"&CTR", b.ctr},  {"&Misc", b.misc}, {"&View", kView}, {"&Help", kHelp}};
    std::vector<std::pair<int, ButtonEntry>> placed;
    for (const InstrumentFamily* family : InstrumentFamilies()) {
      for (const FamilyCommand& c : family->commands) {
        if (!c.button.empty()) placed.push_back({c.buttonPosition, {c.id, c.button}});
      }
    }
    std::stable_sort(placed.begin(), placed.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    for (const auto& p : placed) b.buttons.push_back(p.second);
    b.buttons.insert(b.buttons.end(), std::begin(kOwnButtons), std::end(kOwnButtons));
    return b;
  }();
  return bar;
}

}  // namespace

std::span<const Menu> MainMenus() { return Bar().menus; }
std::span<const ButtonEntry> MainButtons() { return Bar().buttons; }
std::span<const ExtraShortcut> ExtraShortcuts() { return kExtraShortcuts; }

const MenuItem* FindMenuItem(int id) {
  if (id == 0) return nullptr;
  for (const Menu& menu : Bar().menus) {
    for (const MenuItem& item : menu.items) {
      if (item.id == id) return &item;
    }
  }
  return nullptr;
}

std::optional<TransferBinding> TransferBindingOf(int id) {
  const FamilyCommand* c = FindFamilyCommand(id);
  if (!c) return std::nullopt;
  return TransferBinding{c->access, c->protocol, c->baudRate, c->parameter};
}

}  // namespace skylode
