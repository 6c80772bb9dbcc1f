// The hook through which "sim:<family>" ports reach the virtual instruments.
// Access cannot see the sim library, so sim registers a factory per family
// (RegisterVirtualInstruments in sim/register.h) and the port code asks here.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace skylode {

// A running virtual instrument behind a pseudo-terminal. Destroying it stops
// the instrument.
class VirtualLine {
 public:
  virtual ~VirtualLine() = default;
  // The pty slave to open like any serial device.
  virtual std::string SlavePath() const = 0;
};

// Starts a fresh instrument; null (with `error` filled) when it cannot.
using VirtualInstrumentFactory = std::function<std::unique_ptr<VirtualLine>(std::string& error)>;

// Replaces an earlier factory of the same family. Thread-safe.
void RegisterVirtualInstrument(const std::string& family, VirtualInstrumentFactory factory);
void UnregisterVirtualInstrument(const std::string& family);
// Null when no factory is registered for the family.
std::unique_ptr<VirtualLine> StartVirtualInstrument(const std::string& family, std::string& error);
// Registered families, sorted, for the port dialog ("sim:" + family).
std::vector<std::string> VirtualInstrumentFamilies();

}  // namespace skylode
