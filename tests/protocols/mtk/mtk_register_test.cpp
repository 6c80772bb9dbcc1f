// The family row's workers through the dispatcher, on "sim:mtk" as a person
// reaches it: the port opened by name, the debug trace written by both the
// worker and the reply reader.
#include <gtest/gtest.h>

#include "mtk_rig.h"
#include "protocols/families.h"
#include "protocols/family.h"
#include "sim/register.h"

namespace skylode::mtk {
namespace {

using namespace testing;
using flytec::testing::PumpingHost;

TEST(MtkRegister, TheRowFillsItsColumnAndSimMtkAnswers) {
  DeviceAccessTable table;
  ASSERT_NE(MtkFamily().registerWorkers, nullptr);
  MtkFamily().registerWorkers(table, {});
  for (int a = 0; a < kAccessTypeCount; ++a) {
    const auto access = static_cast<AccessType>(a);
    EXPECT_EQ(table.Has(access, ProtocolType::kMtk),
              access == AccessType::kReadTrackLog || access == AccessType::kEraseTrackLog)
        << a;
  }

  sim::RegisterVirtualInstruments();
  PumpingHost host;
  Dispatcher dispatcher{host};
  RegisterInstrumentFamilies(dispatcher.table(), {.waitScale = 0.3});
  for (AccessType access : {AccessType::kReadTrackLog, AccessType::kEraseTrackLog}) {
    Screen screen;
    TransferRequest req;
    req.access = access;
    req.protocol = ProtocolType::kMtk;
    req.portName = "sim:mtk";
    req.settings.connectAttempts = 2;
    std::optional<TransferResult> got;
    ASSERT_EQ(dispatcher.StartTransfer(std::move(req), screen.Callbacks(), [&](TransferResult&& r) { got = std::move(r); }),
              0);
    ASSERT_TRUE(host.PumpUntil([&] { return !dispatcher.transferBusy() && !dispatcher.hasActiveTransfer(); }));
    ASSERT_TRUE(got && got->succeeded()) << static_cast<int>(access);
    if (access == AccessType::kReadTrackLog) {
      EXPECT_EQ(std::get<TrackLogPayload>(got->payload).log.points.size(), 40u);
    } else {
      EXPECT_EQ(screen.Statuses().back(), "Erase completed");
    }
  }
}

}  // namespace
}  // namespace skylode::mtk
