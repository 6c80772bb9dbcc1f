// Writing the Graviter's owner name: the form that asks for it, the memory
// writes, and the exchange against the virtual Graviter, broken at every
// byte and aborted at every stage.
#include "protocols/digifly/graviter_name.h"

#include <gtest/gtest.h>

#include "mlr_rig.h"
#include "protocols/digifly/commands.h"
#include "protocols/family.h"

namespace skylode::graviter {
namespace {

using namespace mlr::testing;

TEST(GraviterName, OneWritePerCharacterPaddedToEight) {
  struct Case {
    std::string name;
    std::vector<std::string> commands;
  };
  const Case cases[] = {
      {"A",
       {"W000208065", "W000209032", "W000210032", "W000211032", "W000212032", "W000213032",
        "W000214032", "W000215032"}},
      {"Anna Bel",
       {"W000208065", "W000209110", "W000210110", "W000211097", "W000212032", "W000213066",
        "W000214101", "W000215108"}},
      // A longer name is cut; a byte past 127 goes as its own number.
      {"Zz\xE9xxxxxLONG",
       {"W000208090", "W000209122", "W000210233", "W000211120", "W000212120", "W000213120",
        "W000214120", "W000215120"}},
  };
  for (const Case& c : cases) EXPECT_EQ(OwnerNameCommands(c.name), c.commands) << c.name;
}

TEST(GraviterName, FormChecksTheName) {
  const FamilyCommand* command = FindFamilyCommand(cmd::kWriteGraviterName);
  ASSERT_NE(command, nullptr);
  ASSERT_EQ(command->dialog, CommandDialog::kForm);
  ASSERT_NE(command->form, nullptr);
  EXPECT_EQ(command->access, AccessType::kWriteSettings);
  EXPECT_EQ(command->protocol, ProtocolType::kDigiflyGraviter);
  const FamilyForm& form = *command->form;
  EXPECT_EQ(form.title, "Write GPS name");
  using K = FormVerdict::Kind;
  struct Case {
    std::string typed;
    K kind;
    std::string message;
  };
  const Case cases[] = {
      {"Anna", K::kAccept, ""},
      {"A,B*C$D", K::kAccept, ""},  // no field of a sentence to break
      {"12345678", K::kAccept, ""},
      {"", K::kNothingToSend, ""},
      {"   ", K::kNothingToSend, ""},
      {"123456789", K::kRefuse, "Name: at most 8 characters"},
      {"Zo\xC3\xAB", K::kRefuse, "Name: plain letters only"},
      {"A\tB", K::kRefuse, "Name contains a control character"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> values{c.typed};
    const FormVerdict v = CheckForm(form, values);
    EXPECT_EQ(v.kind, c.kind) << c.typed;
    EXPECT_EQ(v.message, c.message) << c.typed;
  }
}

FormAnswers Name(std::string name) {
  return FormAnswers{{std::move(name)}};
}

TEST(GraviterName, WrittenIntoTheInstrument) {
  auto log = std::make_shared<sim::GraviterSimLog>();
  RegisterGraviter("graviter-name", {}, log);
  PumpingHost host;
  Screen screen;
  const RunOutcome out =
      RunTransfer(host, screen, AccessType::kWriteSettings, ProtocolType::kDigiflyGraviter,
                  "sim:graviter-name", 0, Name("Anna"));
  ASSERT_TRUE(out.delivered);
  EXPECT_TRUE(out.result.succeeded());
  EXPECT_TRUE(screen.Messages().empty());
  EXPECT_EQ(log->OwnerName(), "Anna    ");
  EXPECT_TRUE(log->Broken().empty());
  EXPECT_EQ(log->Received(),
            "VTW000208065W000209110W000210110W000211097W000212032W000213032W000214032W000215032");
  // The last status line says the transfer is over.
  ASSERT_FALSE(screen.Statuses().empty());
  EXPECT_EQ(screen.Statuses().back(), "Name sent");
}

TEST(GraviterName, RefusedAcknowledgesWriteNothing) {
  struct Case {
    std::string acknowledge;
    std::string message;
  };
  const Case cases[] = {
      {"", "E302 Missing command acknowledge"},
      {"?", "E303 Bad command acknowledge"},
      {"?!", "E303 Bad command acknowledge"},
  };
  for (const Case& c : cases) {
    auto log = std::make_shared<sim::GraviterSimLog>();
    sim::GraviterSimConfig config;
    config.acknowledge = c.acknowledge;
    RegisterGraviter("graviter-ack", config, log);
    PumpingHost host;
    Screen screen;
    const RunOutcome out =
        RunTransfer(host, screen, AccessType::kWriteSettings, ProtocolType::kDigiflyGraviter,
                    "sim:graviter-ack", 0, Name("Anna"));
    EXPECT_EQ(out.result.outcome, TransferOutcome::kFailure) << c.acknowledge;
    const auto messages = screen.Messages();
    ASSERT_EQ(messages.size(), 1u) << c.acknowledge;
    EXPECT_EQ(messages[0].caption, "Upload user name");
    EXPECT_EQ(messages[0].text, c.message);
    EXPECT_EQ(log->OwnerName(), std::string(8, '\0')) << c.acknowledge;
  }
}

TEST(GraviterName, WithoutAnswersNothingIsSent) {
  auto log = std::make_shared<sim::GraviterSimLog>();
  RegisterGraviter("graviter-noname", {}, log);
  PumpingHost host;
  Screen screen;
  const RunOutcome out = RunTransfer(host, screen, AccessType::kWriteSettings,
                                     ProtocolType::kDigiflyGraviter, "sim:graviter-noname");
  EXPECT_EQ(out.result.outcome, TransferOutcome::kFailure);
  ASSERT_EQ(screen.Messages().size(), 1u);
  EXPECT_EQ(screen.Messages()[0].text, "Missing input");
  EXPECT_EQ(log->Received(), "");
}

// `received` holds the owner name the instrument stored.
SweepRun WriteName(const sim::InstrumentOptions& options,
                   std::optional<size_t> abortAtStatus = std::nullopt) {
  Screen screen;
  auto abort = std::make_shared<AbortSignal>();
  auto log = std::make_shared<sim::GraviterSimLog>();
  TransferCallbacks cb = abortAtStatus
                             ? flytec::testing::AbortAtStatus(screen, *abortAtStatus, abort)
                             : screen.Callbacks();
  TransferRequest req;
  req.access = AccessType::kWriteSettings;
  req.input = Name("Bo");
  DirectRun run = OpenDirectGraviter({}, options, std::move(req), std::move(cb), abort, log);
  if (!run.ctx) return {};
  SweepRun out;
  out.result = RunGuarded(
      *abort, [&] { return GraviterWriteName(*run.ctx, mlr::MlrTiming::Scaled(kWaitScale)); });
  run.ctx->ClosePort();
  run.instrument.reset();
  out.messages = screen.Messages();
  out.received = log->OwnerName();
  return out;
}

// The instrument sends its product line and the acknowledge; the line dies
// before each of those bytes in turn.
TEST(GraviterNameSweep, HangUpAtEveryByte) {
  const size_t product = sim::GraviterProductLine({}).size();
  SweepEveryByte(
      product + 1, &sim::FaultPlan::hangUpAt, [](const auto& o) { return WriteName(o); },
      [&](size_t at, const SweepRun& r) {
        EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
        ASSERT_EQ(r.messages.size(), 1u) << at;
        EXPECT_EQ(r.messages[0].text,
                  at < product ? "COM port read error" : "E301 COM port read error")
            << at;
        EXPECT_EQ(r.received, std::string(8, '\0')) << at;
      });
}

TEST(GraviterNameSweep, CorruptionAtEveryByteFailsOrWritesTheName) {
  const size_t total = sim::GraviterProductLine({}).size() + 1;
  SweepEveryByte(
      total, &sim::FaultPlan::corruptAt, [](const auto& o) { return WriteName(o); },
      [&](size_t at, const SweepRun& r) {
        if (r.result.succeeded()) {
          EXPECT_TRUE(r.messages.empty()) << at;
          EXPECT_EQ(r.received, "Bo      ") << at;
          return;
        }
        EXPECT_EQ(r.result.outcome, TransferOutcome::kFailure) << at;
        ASSERT_EQ(r.messages.size(), 1u) << at;
        EXPECT_EQ(r.received, std::string(8, '\0')) << at;
      });
  // The acknowledge itself must be checked.
  sim::InstrumentOptions options;
  options.faults.corruptAt = total - 1;
  const SweepRun r = WriteName(options);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].text, "E303 Bad command acknowledge");
}

// Statuses: 0 asking for the product, 1 product read, 2..9 each character
// sent. An abort before the last write leaves the run cancelled with
// nothing shown.
TEST(GraviterNameSweep, AbortAtEveryStage) {
  for (size_t stage = 0; stage < 9; ++stage) {
    const SweepRun r = WriteName({}, stage);
    EXPECT_EQ(r.result.outcome, TransferOutcome::kCancelled) << stage;
    EXPECT_TRUE(r.messages.empty()) << stage;
    // Whatever reached the instrument came whole, character by character.
    const std::string full = "Bo      ";
    for (size_t i = 0; i < 8; ++i)
      EXPECT_TRUE(r.received[i] == '\0' || r.received[i] == full[i]) << stage;
  }
}

}  // namespace
}  // namespace skylode::graviter
