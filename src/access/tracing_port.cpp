#include "access/tracing_port.h"

#include "access/debug_trace.h"

namespace skylode {

TracingPort::TracingPort(std::unique_ptr<Port> inner, std::shared_ptr<DebugTrace> trace)
    : inner_(std::move(inner)), trace_(std::move(trace)) {}

IoResult TracingPort::Write(std::span<const uint8_t> bytes, const CancelToken& cancel) {
  // Recorded before they go out, so a write that fails still shows what the
  // program tried to say.
  trace_->Bytes(bytes);
  return inner_->Write(bytes, cancel);
}

IoResult TracingPort::ReadSome(std::span<uint8_t> buffer) {
  IoResult r = inner_->ReadAvailable(buffer);
  if (r.count > 0) trace_->Bytes(buffer.first(r.count));
  return r;
}

}  // namespace skylode
