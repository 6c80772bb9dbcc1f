// Every command of the window by its number: what it does, whether it can be
// chosen now and whether its check mark is set. Menus, accelerators and
// buttons all go through this one table, so a command is either there for
// all of them or for none.
#pragma once

#include <functional>
#include <map>
#include <utility>

namespace skylode {

struct Command {
  std::function<void()> run;
  // Unset: always enabled.
  std::function<bool()> enabled;
  // Unset: no check mark.
  std::function<bool()> checked;
};

class CommandTable {
 public:
  // Replaces an earlier command of the same number.
  void Add(int id, Command command) { commands_[id] = std::move(command); }
  // Gives the command a new action and makes it available; its check mark
  // stays.
  void Replace(int id, std::function<void()> run) {
    Command& c = commands_[id];
    c.run = std::move(run);
    c.enabled = nullptr;
  }
  bool Has(int id) const { return commands_.count(id) > 0; }
  bool Enabled(int id) const {
    const auto it = commands_.find(id);
    if (it == commands_.end() || !it->second.run) return false;
    return !it->second.enabled || it->second.enabled();
  }
  bool Checked(int id) const {
    const auto it = commands_.find(id);
    return it != commands_.end() && it->second.checked && it->second.checked();
  }
  bool Checkable(int id) const {
    const auto it = commands_.find(id);
    return it != commands_.end() && it->second.checked;
  }
  // False when the command is not there or not enabled.
  bool Run(int id) const {
    if (!Enabled(id)) return false;
    // Copied: a command may replace commands while it runs.
    auto run = commands_.at(id).run;
    run();
    return true;
  }
  template <typename Fn>
  void ForEach(Fn fn) const {
    for (const auto& [id, command] : commands_) fn(id, command);
  }

 private:
  std::map<int, Command> commands_;
};

}  // namespace skylode
