// The family row's workers through the dispatcher, on "sim:logit" and
// "sim:logit/tracklogger" as a person reaches them: the menu command's
// speed, the port opened by name.
#include <gtest/gtest.h>

#include "logit_rig.h"
#include "protocols/families.h"
#include "protocols/family.h"
#include "protocols/logit/commands.h"
#include "sim/register.h"

namespace skylode::logit {
namespace {

using namespace testing;

TEST(LogItRegister, TheRowFillsItsColumnAndTheVirtualLoggersAnswer) {
  DeviceAccessTable table;
  ASSERT_NE(LogItFamily().registerWorkers, nullptr);
  LogItFamily().registerWorkers(table, {});
  for (int a = 0; a < kAccessTypeCount; ++a) {
    const auto access = static_cast<AccessType>(a);
    EXPECT_EQ(table.Has(access, ProtocolType::kLogIt),
              access == AccessType::kReadTrackLog || access == AccessType::kReadLoggerData ||
                  access == AccessType::kEraseTrackLog || access == AccessType::kWriteSettings)
        << a;
  }
  EXPECT_EQ(FindCommandLineName("logit")->trackLogBaudRate, 57600u);

  sim::RegisterVirtualInstruments();
  PumpingHost host;
  Dispatcher dispatcher{host};
  RegisterInstrumentFamilies(dispatcher.table(), {.waitScale = 0.3});
  struct Case {
    int command;
    std::string port;
    std::string product;
  };
  const Case cases[] = {
      {cmd::kReadLogIt57600, "sim:logit", "LOGIT 2.10 (HANS)"},
      {cmd::kReadTracklogger, "sim:logit/tracklogger", "TRACKLOGGER 1.02 (HANS)"},
      {cmd::kReadLogItData, "sim:logit", "LOGIT 2.10 (HANS)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    const FamilyCommand* command = FindFamilyCommand(c.command);
    ASSERT_NE(command, nullptr);
    Screen screen;
    TransferRequest req = Request(command->access, c.port, command->baudRate);
    req.protocol = command->protocol;
    req.settings.connectAttempts = 2;
    std::optional<TransferResult> got;
    ASSERT_EQ(dispatcher.StartTransfer(std::move(req), screen.Callbacks(), [&](TransferResult&& r) { got = std::move(r); }),
              0);
    ASSERT_TRUE(host.PumpUntil([&] { return !dispatcher.transferBusy() && !dispatcher.hasActiveTransfer(); }));
    ASSERT_TRUE(got && got->succeeded()) << (screen.Messages().empty() ? "" : screen.Messages()[0].text);
    EXPECT_EQ(screen.products.back(), c.product);
    if (command->access == AccessType::kReadTrackLog) {
      EXPECT_EQ(TrackOf(*got)->log.points.size(), 600u);
      EXPECT_EQ(screen.Statuses().back(), "600 points received");
    }
  }
}

}  // namespace
}  // namespace skylode::logit
