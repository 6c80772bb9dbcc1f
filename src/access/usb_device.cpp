#include "access/usb_device.h"

#include <map>
#include <mutex>

namespace skylode {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, VirtualUsbFactory> factories;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterVirtualUsbDevice(const std::string& name, VirtualUsbFactory factory) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.factories[name] = std::move(factory);
}

void UnregisterVirtualUsbDevice(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.factories.erase(name);
}

bool HasVirtualUsbDevice(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  return r.factories.count(name) != 0;
}

std::unique_ptr<UsbDevice> StartVirtualUsbDevice(const std::string& name, std::string& error) {
  VirtualUsbFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    const auto it = r.factories.find(name);
    if (it == r.factories.end()) {
      error = "No virtual USB unit \"" + name + "\"";
      return nullptr;
    }
    factory = it->second;
  }
  auto device = factory(error);
  if (!device && error.empty()) error = "Virtual USB unit \"" + name + "\" did not start";
  return device;
}

std::vector<std::string> VirtualUsbDeviceNames() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::vector<std::string> names;
  for (const auto& [name, factory] : r.factories) names.push_back(name);
  return names;
}

}  // namespace skylode
