// The shell's view of device access: start, abort and end transfers. The
// program uses DispatcherTransferService over the dispatcher; tests put a
// fake in its place to deliver results when they choose.
#pragma once

#include <memory>

#include "access/dispatcher.h"

namespace skylode {

class TransferService {
 public:
  virtual ~TransferService() = default;
  // 0, or -1 after the service has shown why (the caller still owns nothing:
  // the request's input was moved in either way).
  virtual int Start(TransferRequest request, TransferCallbacks callbacks, CompletionFn onComplete) = 0;
  virtual int Abort() = 0;
  // At exit: stops a running transfer without a status line.
  virtual void End() = 0;
  // Whether a worker is registered for the cell (a command without one is
  // shown disabled).
  virtual bool Has(AccessType access, ProtocolType protocol) const = 0;
};

class DispatcherTransferService : public TransferService {
 public:
  explicit DispatcherTransferService(Dispatcher& dispatcher) : dispatcher_(dispatcher) {}
  int Start(TransferRequest request, TransferCallbacks callbacks, CompletionFn onComplete) override {
    return dispatcher_.StartTransfer(std::move(request), std::move(callbacks), std::move(onComplete));
  }
  int Abort() override { return dispatcher_.AbortTransfer(); }
  void End() override { dispatcher_.EndDeviceAccess(); }
  bool Has(AccessType access, ProtocolType protocol) const override {
    return dispatcher_.table().Has(access, protocol);
  }

 private:
  Dispatcher& dispatcher_;
};

}  // namespace skylode
