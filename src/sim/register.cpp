#include "sim/register.h"

#include "access/virtual_line.h"
#include "sim/echo_instrument.h"
#include "sim/flytec/flytec_instrument.h"
#include "sim/garmin/virtual_garmin.h"
#include "sim/magellan/magellan_instrument.h"
#include "sim/mtk/mtk_instrument.h"
#include "sim/virtual_instrument.h"
#include "sim/xctrainer/xctrainer_instrument.h"

namespace skylode::sim {

namespace {

template <typename Behaviour>
VirtualInstrumentFactory FactoryOf() {
  return [](std::string& error) -> std::unique_ptr<VirtualLine> {
    return StartInstrument(std::make_unique<Behaviour>(), {}, error);
  };
}

}  // namespace

void RegisterVirtualInstruments() {
  // A loopback line, for checking a port set-up without an instrument.
  RegisterVirtualInstrument("echo", FactoryOf<EchoInstrument>());
  RegisterVirtualFlytec();
  RegisterVirtualGarmin();
  RegisterVirtualXcTrainer();
  RegisterVirtualMtk();
  RegisterVirtualMagellan();
}

}  // namespace skylode::sim
