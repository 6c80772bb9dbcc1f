#include "access/transfer_context.h"

#include <charconv>
#include <stdexcept>

#include "access/port_names.h"
#include "access/serial_port.h"
#include "access/tracing_port.h"
#include "access/virtual_line.h"

namespace skylode {

namespace {

constexpr std::string_view kConnectingStatus = "Connecting to GPS (%)";
constexpr std::string_view kCannotOpenText = "Could not open serial port (sure it's the right one ?)";
constexpr std::string_view kCannotInitText = "Error while initialising port";

// One attempt at the port a setting names; "sim:" settings start their
// instrument first and open its pty like any other line.
PortOpenResult OpenOnce(const std::string& name, uint32_t baud, bool softwareFlow) {
  if (const auto family = VirtualFamily(name)) {
    PortOpenResult result;
    auto line = StartVirtualInstrument(*family, result.error);
    if (!line) {
      result.failure = OpenFailure::kCannotOpen;
      return result;
    }
    result = SerialPort::Open(line->SlavePath(), name, baud, softwareFlow);
    if (result.port) static_cast<SerialPort&>(*result.port).AttachVirtualLine(std::move(line));
    return result;
  }
  return SerialPort::Open(ResolvePortDevice(name), name, baud, softwareFlow);
}

// The families whose instruments pace their output with XON/XOFF.
bool UsesSoftwareFlow(ProtocolType protocol) {
  switch (protocol) {
    case ProtocolType::kFlytec:
    case ProtocolType::kXcTrainer:
    case ProtocolType::kXcTrainerMxp:
    case ProtocolType::kFlytecAllTracks:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string FormatProgress(std::string_view templ, int64_t a, int64_t b, int64_t c, int64_t d) {
  const int64_t values[] = {a, b, c, d};
  std::string out;
  out.reserve(templ.size() + 16);
  size_t next = 0;
  for (const char ch : templ) {
    if (ch != '%') {
      out.push_back(ch);
      continue;
    }
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, values[next]);
    out.append(digits, ec == std::errc() ? end : digits);
    if (next < 3) ++next;
  }
  return out;
}

void AbortSignal::Request() {
  {
    std::lock_guard lock(mutex_);
    flag_.store(true, std::memory_order_release);
  }
  wake_.notify_all();
}

bool AbortSignal::SleepFor(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, duration, [this] { return flag_.load(std::memory_order_acquire); });
}

TransferContext::TransferContext(TransferRequest request, TransferCallbacks callbacks,
                                 std::shared_ptr<AbortSignal> abort, std::shared_ptr<DebugTrace> trace)
    : request_(std::move(request)),
      callbacks_(std::move(callbacks)),
      abort_(abort ? std::move(abort) : std::make_shared<AbortSignal>()),
      trace_(std::move(trace)) {}

TransferContext::~TransferContext() { ClosePort(); }


bool TransferContext::Pause(std::chrono::milliseconds duration) {
  if (aborted()) return false;
  return abort_->SleepFor(duration);
}

int32_t TransferContext::ConnectAttempts() const {
  const int32_t n = request_.settings.connectAttempts;
  return n > 0 ? n : kDefaultConnectAttempts;
}

int32_t TransferContext::HalfConnectAttempts() const {
  // A TIMEOUT of 1 would otherwise leave no attempt at all.
  return std::max<int32_t>(1, ConnectAttempts() / 2);
}

bool TransferContext::OpenPort(uint32_t baud, bool softwareFlow) {
  ClosePort();
  const int32_t attempts = ConnectAttempts();
  OpenFailure failure = OpenFailure::kCannotOpen;
  std::optional<PortHolder> holder;
  for (int32_t i = 0; i < attempts; ++i) {
    if (aborted()) {
      Status("Transfer aborted");
      return false;
    }
    PortOpenResult r = OpenOnce(request_.portName, baud, softwareFlow);
    if (r.port) {
      AttachPort(std::move(r.port));
      // Some adapters and instruments need a moment after the lines change
      // before they take the first byte.
      if (!Pause(200)) {
        ClosePort();
        Status("Transfer aborted");
        return false;
      }
      port_->Purge();
      return true;
    }
    if (r.failure == OpenFailure::kCannotConfigure) {
      failure = r.failure;
      break;
    }
    // What the last attempt found is what the person is told.
    failure = r.failure;
    holder = std::move(r.holder);
    Progress(kConnectingStatus, attempts - i);
    Pause(1000);
  }
  if (aborted()) {
    Status("Transfer aborted");
    return false;
  }
  const std::string text = failure == OpenFailure::kBusy          ? PortInUseText(holder)
                           : failure == OpenFailure::kCannotConfigure ? std::string(kCannotInitText)
                                                                      : std::string(kCannotOpenText);
  ShowMessage("Connecting to GPS on " + request_.portName, text, MessageIcon::kError);
  return false;
}

bool TransferContext::SetPortSpeed(uint32_t baud) {
  if (!port_) return false;
  if (!port_->SetSpeed(baud, UsesSoftwareFlow(request_.protocol))) {
    ShowMessage("Setting COM port state", port_->LastError(), MessageIcon::kInfo);
    return false;
  }
  Pause(200);
  return true;
}

void TransferContext::AttachPort(std::unique_ptr<Port> port) {
  port_ = trace_ != nullptr && port ? std::make_unique<TracingPort>(std::move(port), trace_) : std::move(port);
}

Port& TransferContext::port() {
  if (!port_) throw std::logic_error("transfer port used before it was opened");
  return *port_;
}

void TransferContext::ClosePort() {
  if (port_) port_->Close();
  port_.reset();
}

void TransferContext::Status(std::string_view text) {
  if (callbacks_.onStatus) callbacks_.onStatus(text);
}

void TransferContext::Progress(std::string_view templ, int64_t a, int64_t b, int64_t c, int64_t d) {
  Status(FormatProgress(templ, a, b, c, d));
}

void TransferContext::Product(std::string_view text) {
  if (callbacks_.onProduct) callbacks_.onProduct(text);
}

void TransferContext::Notify(std::string_view text) {
  if (callbacks_.notify) callbacks_.notify(text);
}

void TransferContext::NotifyPosition(const TrackPoint& point) {
  if (callbacks_.notifyPosition) callbacks_.notifyPosition(point);
}

void TransferContext::NotifyWaypointCount(int32_t count) {
  if (callbacks_.notifyWaypointCount) callbacks_.notifyWaypointCount(count);
}

void TransferContext::NotifyByteCount(int32_t count) {
  if (callbacks_.notifyByteCount) callbacks_.notifyByteCount(count);
}

void TransferContext::ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) {
  if (callbacks_.showMessage) callbacks_.showMessage(caption, text, icon, cancel());
}

bool TransferContext::AskYesNo(std::string_view caption, std::string_view question) {
  return callbacks_.askYesNo ? callbacks_.askYesNo(caption, question, cancel()) : false;
}

std::optional<std::vector<int32_t>> TransferContext::ChooseTracks(std::string_view title,
                                                                  const std::vector<TrackListEntry>& entries) {
  if (!callbacks_.chooseTracks || aborted()) return std::nullopt;
  return callbacks_.chooseTracks(title, entries, cancel());
}

bool TransferContext::NotifySkippable(std::string_view title, std::string_view text) {
  if (!callbacks_.notifySkippable || aborted()) return true;
  return callbacks_.notifySkippable(title, text, cancel());
}

void TransferContext::IdentifyPilot(const Waypoint& waypoint) {
  if (callbacks_.identifyPilot) callbacks_.identifyPilot(waypoint);
}

}  // namespace skylode
