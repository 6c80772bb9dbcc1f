#include "protocols/family.h"

#include <algorithm>

#include "protocols/families.h"

namespace skylode {

namespace {

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != b[i]) return false;
  }
  return true;
}

}  // namespace

void RegisterInstrumentFamilies(DeviceAccessTable& table, const WorkerTuning& tuning) {
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    if (family->registerWorkers) family->registerWorkers(table, tuning);
  }
}

const InstrumentFamily* FamilyOfProtocol(ProtocolType protocol) {
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    if (std::find(family->protocols.begin(), family->protocols.end(), protocol) != family->protocols.end())
      return family;
  }
  return nullptr;
}

const TrackLogRules* TrackLogRulesOf(TrackLogSource source) {
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const TrackLogRules& rules : family->trackLogs) {
      if (rules.source == source) return &rules;
    }
  }
  return nullptr;
}

const CommandLineName* FindCommandLineName(std::string_view name) {
  if (name.empty()) {
    for (const InstrumentFamily* family : InstrumentFamilies()) {
      if (!family->commandLineNames.empty()) return &family->commandLineNames.front();
    }
    return nullptr;
  }
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const CommandLineName& entry : family->commandLineNames) {
      if (SameLetters(name, entry.name)) return &entry;
    }
  }
  return nullptr;
}

const FamilyCommand* FindFamilyCommand(int id) {
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const FamilyCommand& command : family->commands) {
      if (command.id == id) return &command;
    }
  }
  return nullptr;
}

const FamilyToggle* FindFamilyToggle(int id) {
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const FamilyToggle& toggle : family->toggles) {
      if (toggle.id == id) return &toggle;
    }
  }
  return nullptr;
}

const DeviceAccessTable& FamilyCapabilities() {
  static const DeviceAccessTable table = [] {
    DeviceAccessTable t;
    RegisterInstrumentFamilies(t);
    return t;
  }();
  return table;
}

}  // namespace skylode
