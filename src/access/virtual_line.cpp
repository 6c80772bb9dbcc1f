#include "access/virtual_line.h"

#include <map>
#include <mutex>

namespace skylode {

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, VirtualInstrumentFactory> factories;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterVirtualInstrument(const std::string& family, VirtualInstrumentFactory factory) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.factories[family] = std::move(factory);
}

void UnregisterVirtualInstrument(const std::string& family) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.factories.erase(family);
}

std::unique_ptr<VirtualLine> StartVirtualInstrument(const std::string& family, std::string& error) {
  VirtualInstrumentFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    const auto it = r.factories.find(family);
    if (it == r.factories.end()) {
      error = "No virtual instrument \"" + family + "\"";
      return nullptr;
    }
    factory = it->second;
  }
  // Started outside the lock: a factory may take a while to set up its pty.
  auto line = factory(error);
  if (!line && error.empty()) error = "Virtual instrument \"" + family + "\" did not start";
  return line;
}

std::vector<std::string> VirtualInstrumentFamilies() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::vector<std::string> families;
  for (const auto& [family, factory] : r.factories) families.push_back(family);
  return families;
}

}  // namespace skylode
