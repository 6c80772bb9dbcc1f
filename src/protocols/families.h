// The rows of the family table, one per folder of src/protocols.
#pragma once

#include "protocols/family.h"

namespace skylode {

const InstrumentFamily& GarminFamily();
const InstrumentFamily& FlytecFamily();
const InstrumentFamily& IqBasicFamily();
const InstrumentFamily& XcTrainerFamily();
const InstrumentFamily& LogItFamily();
const InstrumentFamily& DigiflyFamily();
const InstrumentFamily& MagellanFamily();
const InstrumentFamily& FlymasterFamily();
const InstrumentFamily& DsxFamily();
const InstrumentFamily& MtkFamily();

}  // namespace skylode
