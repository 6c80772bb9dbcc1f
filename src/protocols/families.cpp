// The family table. A new instrument family is one folder beside this file
// with its row (family.cpp) and one line here.
#include "protocols/families.h"

namespace skylode {

std::span<const InstrumentFamily* const> InstrumentFamilies() {
  static const InstrumentFamily* const kRows[] = {
      &GarminFamily(),  &FlytecFamily(),   &IqBasicFamily(), &XcTrainerFamily(), &LogItFamily(),
      &DigiflyFamily(), &MagellanFamily(), &FlymasterFamily(), &DsxFamily(),     &MtkFamily(),
  };
  return kRows;
}

}  // namespace skylode
