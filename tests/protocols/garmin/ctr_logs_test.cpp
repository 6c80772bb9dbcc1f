// Airspaces sent to a virtual Garmin as track logs: one log per selected
// area, numbered in list order, carrying the outline the expansion draws;
// a refused area fails the whole upload.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/ctr_outline.h"
#include "garmin_rig.h"
#include "records/angles.h"

namespace skylode::garmin {
namespace {

using namespace testing;

CtrList ThreeAreas() {
  CtrList l;
  CtrArea circle;
  circle.name = "Circle";
  circle.selected = true;
  CtrSegment c;
  c.kind = CtrSegmentKind::kCircle;
  c.centre = {47.25, 8.5};
  c.radius = 5000;
  circle.segments.push_back(c);
  CtrArea skipped = circle;
  skipped.name = "Skipped";
  skipped.selected = false;
  CtrArea poly;
  poly.name = "Polygon";
  poly.selected = true;
  for (const LatLonDegrees& p : {LatLonDegrees{46, 7}, {46.1, 7}, {46.1, 7.1}}) {
    CtrSegment s;
    s.centre = p;
    poly.segments.push_back(s);
  }
  l.areas = {circle, skipped, poly};
  return l;
}

int32_t Get32(const std::vector<uint8_t>& d, size_t at) {
  return static_cast<int32_t>(d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24);
}

class GarminCtrLogs : public ::testing::TestWithParam<Transport> {};

INSTANTIATE_TEST_SUITE_P(Transports, GarminCtrLogs, ::testing::ValuesIn(kAllTransports),
                         [](const ::testing::TestParamInfo<Transport>& i) { return TransportName(i.param); });

TEST_P(GarminCtrLogs, EachSelectedAreaBecomesALogOfItsOutline) {
  Rig rig(GetParam(), ProfileOptions("d109"));
  Recorder rec;
  const CtrList list = ThreeAreas();
  TransferResult r = rig.Run(GarminSendCtrsAsLogs, rig.Request(AccessType::kUploadAirspaces, list), rec);
  ASSERT_TRUE(r.succeeded()) << rec.LastMessage();
  const auto tracks = rig.unit().UploadedTracks();
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_NE(std::find(rec.statuses.begin(), rec.statuses.end(), "CTR 3: Point 4 of 4 sent"), rec.statuses.end());
  EXPECT_EQ(rec.statuses.back(), rig.usb() ? "Transfer completed" : "CTR 3: Point 4 of 4 sent");
  const CtrArea* sent[] = {&list.areas[0], &list.areas[2]};
  for (size_t k = 0; k < 2; ++k) {
    Result<std::vector<Waypoint>> want = ExpandCtrToWaypoints(*sent[k], 0, 0);
    ASSERT_TRUE(want.ok());
    const auto& got = tracks[k];
    ASSERT_EQ(got.size(), want->size() + 1);
    EXPECT_EQ(got[0].id, 99);
    EXPECT_EQ(std::string(got[0].data.begin() + 2, got[0].data.end() - 1), sent[k]->name);
    for (size_t i = 0; i < want->size(); ++i) {
      EXPECT_EQ(Get32(got[i + 1].data, 0), (*want)[i].latitude);
      EXPECT_EQ(Get32(got[i + 1].data, 4), (*want)[i].longitude);
    }
  }
}

TEST(GarminSerialCtrLogs, ARefusedAreaFailsTheUploadAndNothingSelectedIsSaid) {
  // Packets the unit receives: product request, then per area the records,
  // the header, the points and the end. Withholding an acknowledgement in
  // the second area must fail the whole upload, not report the first one.
  sim::VirtualGarminOptions o = ProfileOptions("d109");
  o.faults.withholdAckOfPacket = 1 + 1 + 1 + 37 + 1 + 2;
  Rig rig(o);
  Recorder rec;
  TransferResult r = rig.Run(GarminSendCtrsAsLogs, rig.Request(AccessType::kUploadAirspaces, ThreeAreas()), rec);
  EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(rec.LastMessage(), "E504 Timeout while waiting for ack. packet");
  EXPECT_EQ(rig.unit().UploadedTracks().size(), 1u);

  Rig quiet(ProfileOptions("d109"));
  Recorder none;
  CtrList unselected = ThreeAreas();
  for (CtrArea& a : unselected.areas) a.selected = false;
  r = quiet.Run(GarminSendCtrsAsLogs, quiet.Request(AccessType::kUploadAirspaces, unselected), none);
  EXPECT_EQ(r.outcome, TransferOutcome::kFailure);
  EXPECT_EQ(none.LastMessage(), "No CTR(s) selected");
  EXPECT_TRUE(quiet.unit().UploadedTracks().empty());
}

}  // namespace
}  // namespace skylode::garmin
