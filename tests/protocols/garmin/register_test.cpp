#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "garmin_rig.h"
#include "protocols/garmin/register.h"

namespace skylode::garmin {
namespace {

using namespace testing;

TEST(GarminRegister, FillsTheSerialAndUsbColumnsOnly) {
  DeviceAccessTable table;
  RegisterGarminWorkers(table);
  const AccessType filled[] = {AccessType::kReadWaypoints, AccessType::kReadTrackLog, AccessType::kSendWaypoints,
                               AccessType::kUploadTrackLog, AccessType::kUploadAirspaces};
  for (int a = 0; a < kAccessTypeCount; ++a) {
    const auto access = static_cast<AccessType>(a);
    const bool want = std::find(std::begin(filled), std::end(filled), access) != std::end(filled);
    for (int p = 0; p < kProtocolTypeCount; ++p) {
      const auto column = static_cast<ProtocolType>(p);
      const bool garmin = column == ProtocolType::kGarminSerial || column == ProtocolType::kGarminUsb;
      EXPECT_EQ(table.Has(access, column), want && garmin) << a << " " << p;
    }
  }
}

TEST(GarminProductRequest, TriesHalfTheConnectAttemptsButAtLeastOnce) {
  struct Case {
    int32_t connectAttempts;
    std::vector<std::string> statuses;
  } cases[] = {
      {1, {"Requesting product info (1)"}},
      {2, {"Requesting product info (1)"}},
      {7, {"Requesting product info (3)", "Requesting product info (2)", "Requesting product info (1)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.connectAttempts);
    sim::VirtualGarminOptions o = ProfileOptions("d109");
    o.faults.silentAfterPackets = 0;
    Rig rig(o);
    Recorder rec;
    auto request = rig.Request(AccessType::kReadWaypoints);
    request.settings.connectAttempts = c.connectAttempts;
    TransferResult r = rig.Run(GarminReadWaypoints, request, rec, nullptr, FastTimeouts(200));
    EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
    std::vector<std::string> asked;
    for (const auto& s : rec.statuses)
      if (s.rfind("Requesting product info", 0) == 0) asked.push_back(s);
    EXPECT_EQ(asked, c.statuses);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].caption, "Get GPS product data");
    EXPECT_EQ(rec.messages[0].text, "No valid response from GPS");
  }
}

}  // namespace
}  // namespace skylode::garmin

namespace skylode::garmin {
namespace {

TEST(GarminRegister, VirtualUnitsAnswerUnderTheirPortNames) {
  sim::RegisterVirtualGarmin();
  sim::RegisterVirtualGarminUsb();
  struct Case {
    const char* port;
    ProtocolType column;
    const char* product;
  } cases[] = {{"sim:garmin", ProtocolType::kGarminSerial, "Virtual GPS d109 Software Version 3.30"},
               {"sim:garmin/d108", ProtocolType::kGarminSerial, "Virtual GPS d108 Software Version 3.30"},
               {"sim:garmin/p29-399", ProtocolType::kGarminSerial, "Virtual GPS p29-399"},
               {"sim:garmin-usb", ProtocolType::kGarminUsb, "Virtual GPS d109 Software Version 3.30"},
               {"sim:garmin-usb/bulk", ProtocolType::kGarminUsb, "Virtual GPS d109 Software Version 3.30"},
               {"sim:garmin-usb/d110", ProtocolType::kGarminUsb, "Virtual GPS d110 Software Version 3.30"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port);
    testing::Recorder rec;
    TransferRequest request;
    request.access = AccessType::kReadWaypoints;
    request.protocol = c.column;
    request.portName = c.port;
    request.settings.connectAttempts = 2;
    TransferContext ctx(request, rec.Callbacks());
    ctx.SetTrace(nullptr);
    TransferResult r = GarminReadWaypoints(ctx, testing::FastTimeouts());
    ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
    EXPECT_EQ(std::get<WaypointList>(r.payload).count(), 5);
    EXPECT_EQ(rec.products.back(), c.product);
  }
}

}  // namespace
}  // namespace skylode::garmin
