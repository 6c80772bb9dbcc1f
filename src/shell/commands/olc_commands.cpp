#include "shell/commands/olc_commands.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "analysis/coordinate_text.h"
#include "formats/file_io.h"
#include "formats/igc_names.h"
#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "records/angles.h"
#include "records/numeric.h"
#include "shell/app_state.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/file_messages.h"

namespace skylode {

const std::array<const char*, 5> kOlcGliderClasses = {"Flexible wing", "Rigid wing",
                                                      "Paraglider (open)", "Paraglider (sport)",
                                                      "Paraglider (tandem)"};

const std::array<OlcChoice, 38> kOlcRegions = {{
    {"", "   Unknown"},
    {"AF", "AF Africa"},
    {"AR", "AR Argentina"},
    {"AT", "AT Austria / Osterreich"},
    {"AU", "AU Australia"},
    {"BE", "BE Belgium"},
    {"BG", "BG Bulgaria"},
    {"BR", "BR Brazil"},
    {"CA", "CA Canada"},
    {"CH", "CH Switzerland / Schweiz"},
    {"CZ", "CZ Czech Republic"},
    {"DE", "DE Germany / Deutchland"},
    {"DK", "DK Denmark / Danmark"},
    {"ES", "ES Spain / Espana"},
    {"FI", "FI Finland / Suomi"},
    {"FR", "FR France"},
    {"GR", "GR Greece / Ellas or Ellada"},
    {"HR", "HR Croatia / Hrvatska"},
    {"HU", "HU Hungary / Magyarorszag"},
    {"IS", "IS Iceland / Island"},
    {"IT", "IT Italy / Italia"},
    {"JP", "JP Japan"},
    {"KR", "KR Korea"},
    {"LT", "LT Lithuania / Lietuvos Respublik"},
    {"LU", "LU Luxembourg"},
    {"MK", "MK Macedonia / Makedonija"},
    {"MX", "MX Mexico"},
    {"NL", "NL Netherlands / Nederland"},
    {"NO", "NO Norway / Norge"},
    {"PL", "PL Poland / Polska"},
    {"PT", "PT Portugal"},
    {"RU", "RU Russian Federation / Russia"},
    {"SE", "SE Sweden / Sverige"},
    {"SI", "SI Slovenia / Slovenija"},
    {"TR", "TR Turkey / Turkiye"},
    {"UK", "UK United Kingdom"},
    {"US", "US USA"},
    {"ZA", "ZA South Africa / RSA"},
}};

namespace {

constexpr size_t kOlcLeastPositions = 5;

// The pilot's text fields and the settings that keep them.
constexpr std::pair<SettingId, std::string OlcPilot::*> kOlcTextSettings[] = {
    {SettingId::kOlcFirstName, &OlcPilot::firstName},   {SettingId::kOlcLastName, &OlcPilot::lastName},
    {SettingId::kOlcBirthDate, &OlcPilot::birthDate},   {SettingId::kOlcGliderType, &OlcPilot::gliderType},
    {SettingId::kOlcCallSign, &OlcPilot::callSign},     {SettingId::kOlcStartPlace, &OlcPilot::startPlace},
    {SettingId::kOlcRegion, &OlcPilot::region},
};

std::string TimeOfDay(uint32_t time) {
  const uint32_t day = time % 86400;
  char out[32];
  std::snprintf(out, sizeof out, "%02u:%02u:%02u", day / 3600, day / 60 % 60, day % 60);
  return out;
}

std::string Dms(int32_t semicircles, bool isLatitude) {
  return FormatDms(ClampRound<int32_t>(semicircles * kSemicirclesToCentiSeconds), isLatitude);
}

std::string Km(double metres) {
  char out[48];
  std::snprintf(out, sizeof out, "%.2f km", metres / 1000);
  return out;
}

// One row of the table: the point's letter, time and position, and what
// follows on the line.
std::string PointRow(const std::vector<TrackPoint>& points, char letter, int32_t index,
                     std::string_view tail) {
  if (index < 0 || static_cast<size_t>(index) >= points.size()) return {};
  const TrackPoint& p = points[static_cast<size_t>(index)];
  std::string row(1, letter);
  row += "  " + TimeOfDay(p.time) + "  " + Dms(p.latitude, true) + "  " + Dms(p.longitude, false);
  if (!tail.empty()) row += "  " + std::string(tail);
  return row + "\r\n";
}

// 0 for an empty field, -1 for anything but a number from 1 to 999.
int FlightNumberOf(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return 0;
  if (text.size() > 3) return -1;
  int n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n == 0 ? -1 : n;
}

std::string Points(double points) {
  char out[48];
  std::snprintf(out, sizeof out, "%.2f points", points);
  return out;
}

std::string Percent(double leg, double perimeter) {
  char out[32];
  std::snprintf(out, sizeof out, "%.2f %%", perimeter > 0 ? leg / perimeter * 100 : 0.0);
  return out;
}

std::string TriangleText(const std::vector<TrackPoint>& points, const char* title,
                         const TripResult& t, double score) {
  const double perimeter = t.legs[0] + t.legs[1] + t.legs[2];
  std::string out = std::string(title) + "\r\n";
  // Turnpoints A, B, C with the leg that ends at each (C closes back to A).
  out += PointRow(points, 'A', t.index[1], Km(t.legs[2]) + "  " + Percent(t.legs[2], perimeter));
  out += PointRow(points, 'B', t.index[2], Km(t.legs[0]) + "  " + Percent(t.legs[0], perimeter));
  out += PointRow(points, 'C', t.index[3], Km(t.legs[1]) + "  " + Percent(t.legs[1], perimeter));
  out += PointRow(points, 'D', t.index[0], "");
  out += PointRow(points, 'E', t.index[4], "gap " + Km(t.legs[3]));
  out += "Sum " + Km(perimeter) + "  " + Points(score) + "\r\n";
  return out;
}

}  // namespace

std::string OlcResultText(const std::vector<TrackPoint>& points, const OlcResults& r) {
  std::string out = "MAX. DISTANCE (Start point A, end point B)  (Not an OLC parameter)\r\n";
  out += PointRow(points, 'A', r.maxDistance.index[0], "");
  out += PointRow(points, 'B', r.maxDistance.index[1], Km(r.maxDistance.legs[0]));
  out += "\r\nMAX. DISTANCE (Start point A, turnpoints BCD, end point E)\r\n";
  out += PointRow(points, 'A', r.freeDistance.index[0], "");
  for (int u = 1; u < 5; ++u)
    out += PointRow(points, static_cast<char>('A' + u), r.freeDistance.index[u],
                    Km(r.freeDistance.legs[u - 1]));
  out += "Sum " + Km(r.freeDistance.total) + "  " + Points(r.freeDistancePoints) + "\r\n";
  out += "\r\nOUT-AND-RETURN (Start point A, end point C)  (Not an OLC parameter)\r\n";
  out += PointRow(points, 'A', r.outAndReturn.index[0], "");
  out += PointRow(points, 'B', r.outAndReturn.index[1], Km(r.outAndReturn.legs[0]));
  out += PointRow(points, 'C', r.outAndReturn.index[2], Km(r.outAndReturn.legs[1]));
  out += "Sum " + Km(r.outAndReturn.total) + "\r\n\r\n";
  out += TriangleText(points, "FREE TRIANGLE (Triangle ABC. Start point D, end point E)",
                      r.freeTriangle, r.freeTrianglePoints);
  out += "\r\n";
  out += TriangleText(points, "FAI TRIANGLE (Triangle ABC. Start point D, end point E)",
                      r.faiTriangle, r.faiTrianglePoints);
  return out;
}

// --- The dialog's session ---------------------------------------------------------------

struct OlcSession::Status {
  mutable std::mutex lock;
  std::string text;
};

OlcSession::OlcSession(AppState& app, std::vector<TrackPoint> points, bool useIgcBuffer)
    : app_(app),
      points_(std::move(points)),
      useIgcBuffer_(useIgcBuffer),
      status_(std::make_shared<Status>()) {}

OlcSession::~OlcSession() {
  // The run's destructor halts the thread and waits for it to end.
  if (run_) run_->Halt();
  run_.reset();
}

bool OlcSession::Start() {
  if (run_) return true;
  std::weak_ptr<Status> weak = status_;
  run_ = OlcRun::Start(points_, [weak](std::string_view text) {
    if (auto status = weak.lock()) {
      std::lock_guard guard(status->lock);
      status->text.assign(text);
    }
  });
  if (!run_) {
    app_.ShowMessage(Caption{kOlcInitCaption}, "Could not create optimisation thread");
    return false;
  }
  contest_.Start(points_, kWindowContestSeconds);
  return true;
}

std::string OlcSession::StatusText() const {
  std::lock_guard guard(status_->lock);
  return status_->text;
}

std::string OlcSession::ProgressText() const {
  return run_ ? run_->ProgressText() : std::string();
}

bool OlcSession::ResultsReady() const {
  return run_ && run_->ResultsReady();
}

bool OlcSession::WaitEnded(std::chrono::milliseconds timeout) const {
  return !run_ || run_->WaitEnded(timeout);
}

std::optional<OlcResults> OlcSession::Results() const {
  if (!run_ || halted_) return std::nullopt;
  return run_->Results();
}

std::string OlcSession::ResultText() const {
  const auto results = Results();
  return results ? OlcResultText(points_, *results) : std::string();
}

std::string OlcSession::ContestText() const {
  const auto lines = contest_.Summaries();
  if (!lines) return {};
  std::string out;
  for (const std::string& line : *lines) out += line + "\n";
  return out;
}

void OlcSession::Halt() {
  halted_ = true;
  if (run_) run_->Halt();
  contest_.Cancel();
}

OlcForm OlcSession::InitialForm() const {
  const SettingsStore& s = app_.settings();
  OlcForm f;
  for (const auto& [id, field] : kOlcTextSettings) f.pilot.*field = s.Text(id);
  f.pilot.gliderClass = std::atoi(s.Text(SettingId::kOlcGliderClass).c_str());
  if (f.pilot.gliderClass < 1 || f.pilot.gliderClass > kOlcGliderClassCount)
    f.pilot.gliderClass = 1;
  f.longFileName = s.Number(SettingId::kOlcLongFileName) != 0;
  f.flightNumber = "1";
  return f;
}

bool OlcSession::Save(const OlcForm& form, bool withIgc) {
  if (halted_ || !ResultsReady()) return false;
  const std::optional<OlcResults> results = Results();
  if (!results) return false;
  const OlcClaim claim = BestOlcClaim(*results);
  // With nothing found the choice falls on an empty FAI triangle: a claim of
  // five copies of one position.
  if (!(claim.points > 0)) {
    app_.ShowMessage(Caption{kOlcSaveCaption}, "No result to claim");
    return false;
  }
  OlcPilot pilot = form.pilot;
  pilot.flightNumber = FlightNumberOf(form.flightNumber);
  bool regionKnown = false;
  for (const OlcChoice& r : kOlcRegions) regionKnown = regionKnown || pilot.region == r.code;
  if (!regionKnown) pilot.gliderClass = 0;  // read as a failed list, as the class
  if (const auto failure = CheckOlcPilot(pilot)) {
    app_.ShowMessage(Caption{kOlcUserCaption}, *failure);
    return false;
  }

  SettingsStore& s = app_.settings();
  for (const auto& [id, field] : kOlcTextSettings) s.SetText(id, pilot.*field);
  s.SetText(SettingId::kOlcGliderClass, std::to_string(pilot.gliderClass));
  s.SetNumber(SettingId::kOlcLongFileName, form.longFileName ? 1 : 0);

  const IgcNameStyle style = form.longFileName ? IgcNameStyle::kLong : IgcNameStyle::kShort;
  const std::string igcName = useIgcBuffer_
                                  ? ProposeRawIgcFileName(style, app_.rawIgc, pilot.flightNumber)
                                  : ProposeIgcFileName(style, points_, "000", pilot.flightNumber);
  std::array<TrackPoint, 5> claimPoints{};
  for (int u = 0; u < 5; ++u) claimPoints[u] = points_[static_cast<size_t>(claim.index[u])];

  std::optional<std::string> igcText;
  bool secured = true;
  if (withIgc) {
    if (useIgcBuffer_) {
      igcText = app_.rawIgc.text;
      secured = VerifyIgcText(app_.rawIgc.text) != IgcVerifyOutcome::kNoSecurityRecord;
    } else {
      IgcWriteOptions o;
      o.header.pilot = pilot.firstName + " " + pilot.lastName;
      o.header.gliderType = pilot.gliderType;
      o.header.gliderId = pilot.callSign;
      o.header.site = pilot.startPlace;
      o.instrumentText = app_.trackLog.instrumentText;
      o.downloadTime = app_.trackLog.downloadTime;
      o.gRecordValid = app_.trackLog.gRecordValid;
      o.wantGRecord = true;
      Result<IgcText> built = BuildIgcText(points_, o);
      if (!built.ok()) {
        app_.ShowMessage(Caption{kOlcSaveCaption}, "Memory allocation error");
        return false;
      }
      secured = built->gRecordWritten;
      igcText = std::move(built->text);
    }
  }
  Result<std::string> file =
      BuildOlcFile(pilot, igcName, claimPoints, claim.points,
                   igcText ? std::optional<std::string_view>(*igcText) : std::nullopt);
  if (!file.ok()) {
    app_.ShowMessage(Caption{kOlcSaveCaption}, file.error().text);
    return false;
  }

  FileDialogSpec spec;
  spec.title = "Save OLC file";
  spec.formats = {{"OLC files", ".olc"}};
  spec.folderSetting = SettingId::kOlcDir;
  const auto chosen = app_.AskSaveFile(spec);
  if (!chosen) return false;
  if (app_.CreateNewFile(chosen->path, *file) != 0) return false;
  app_.ShowMessage(Caption{kOlcSaveCaption},
                   withIgc && !secured ? "File written. NO security record" : "File written",
                   BoxIcon::kInformation);
  return true;
}

// --- The commands -----------------------------------------------------------------------

void OlcStatisticsCommand(AppState& app, bool useIgcBuffer) {
  std::vector<TrackPoint> points;
  if (useIgcBuffer) {
    if (app.rawIgc.empty()) {
      app.ShowMessage(Caption{kOlcCommandCaption}, "No raw IGC buffer stored");
      return;
    }
    Result<IgcParse> parsed = ParseIgcText(app.rawIgc.text);
    if (parsed.ok()) points = std::move(parsed->points);
  } else {
    if (app.trackLog.empty()) return;
    points = app.CopySelectedTrackPoints();
  }
  if (points.empty()) {
    app.ShowMessage(Caption{kOlcInitCaption}, "No position(s) selected");
    return;
  }
  if (points.size() < kOlcLeastPositions) {
    app.ShowMessage(Caption{kOlcInitCaption}, "Number of positions must be 5 or more");
    return;
  }
  OlcSession session(app, std::move(points), useIgcBuffer);
  if (!session.Start()) return;
  app.ui().ShowOlcStatistics(session);
  session.Halt();
  // The session's end waits for the thread, whichever way it leaves.
}

void RegisterOlcCommands(AppState& app) {
  AppState* a = &app;
  app.RegisterCommand(cmd::kOlcIgcBuffer, [a] { OlcStatisticsCommand(*a, true); });
  app.RegisterCommand(cmd::kOlcSelected, [a] { OlcStatisticsCommand(*a, false); });
}

std::string OlcResultLines(const std::vector<TrackPoint>& points, const OlcResults& r) {
  struct Row {
    OlcKind kind;
    const TripResult* result;
    double points;
  } rows[] = {
      {OlcKind::kFreeDistance, &r.freeDistance, r.freeDistancePoints},
      {OlcKind::kFreeTriangle, &r.freeTriangle, r.freeTrianglePoints},
      {OlcKind::kFaiTriangle, &r.faiTriangle, r.faiTrianglePoints},
  };
  std::string out;
  char line[160];
  for (const Row& row : rows) {
    std::snprintf(line, sizeof line, "%s\t%.2f\t%.2f\n", OlcKindName(row.kind),
                  OlcScoredDistance(*row.result) / 1000, row.points);
    out += line;
  }
  static constexpr const char* kNames[] = {"start", "TP1", "TP2", "TP3", "finish"};
  for (const Row& row : rows) {
    // A kind that found nothing has no points to show.
    if (!(row.points > 0)) continue;
    for (int u = 0; u < 5; ++u) {
      const TrackPoint& p = points[static_cast<size_t>(row.result->index[u])];
      const uint32_t day = p.time % 86400;
      std::snprintf(line, sizeof line, "%s\t%s\t%02u:%02u:%02u\t%.5f\t%.5f\n",
                    OlcKindName(row.kind), kNames[u], day / 3600, day / 60 % 60, day % 60,
                    p.latitude * kSemicirclesToDegrees, p.longitude * kSemicirclesToDegrees);
      out += line;
    }
  }
  return out;
}

int PrintOlcResults(const std::string& path, std::ostream& report, std::ostream& errors) {
  auto say = [&errors](std::string_view caption, std::string_view text) {
    errors << PrintableText(caption) << ": " << PrintableText(text) << '\n';
  };
  Result<std::string> text = ReadWholeFile(path);
  Result<IgcParse> parsed = text.ok() ? ParseIgcText(*text) : Result<IgcParse>(text.error());
  if (!parsed.ok()) {
    const FileMessage failure = IgcReadFailure(parsed.error());
    say(failure.caption, failure.text);
    return 1;
  }
  if (parsed->points.size() < kOlcLeastPositions) {
    say("Initialize OLC statistics", "Number of positions must be 5 or more");
    return 1;
  }
  OlcResults results;
  TripHaltFlag halt{false};
  const OlcStatus status = OlcOptimise(parsed->points, results, {}, halt);
  if (status != OlcStatus::kCompleted) {
    say("Initialize OLC statistics dialog box", "Could not allocate memory for distance table");
    return 1;
  }
  report << OlcResultLines(parsed->points, results);
  return 0;
}

}  // namespace skylode
