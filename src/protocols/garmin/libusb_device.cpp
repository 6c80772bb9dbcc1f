// The real Garmin on USB through libusb. Every transfer is asynchronous and
// waited for in short event slices, so an abort cancels it and waits for the
// cancellation to land: the device is never closed under a transfer still
// in flight.
#include <libusb.h>

#include <sys/time.h>

#include <atomic>

#include "protocols/garmin/usb_link.h"

namespace skylode::garmin {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long kEventSliceUs = 50'000;
// After a cancel the host controller normally answers at once; a transfer
// still out after this is left alone rather than freed under libusb.
constexpr std::chrono::seconds kCancelGrace{2};

std::string LibusbText(int code) { return libusb_strerror(static_cast<libusb_error>(code)); }

class LibusbDevice final : public UsbDevice {
 public:
  LibusbDevice(libusb_context* usb, libusb_device_handle* handle, int interfaceNumber, uint8_t interruptIn,
               uint8_t bulkIn, uint8_t bulkOut, size_t maxPacket)
      : usb_(usb), handle_(handle), interface_(interfaceNumber), interruptIn_(interruptIn), bulkIn_(bulkIn),
        bulkOut_(bulkOut), maxPacket_(maxPacket) {}

  ~LibusbDevice() override {
    if (wedged_) return;  // a transfer is still out: closing would pull memory from under it
    libusb_release_interface(handle_, interface_);
    libusb_close(handle_);
    libusb_exit(usb_);
  }

  IoResult Read(UsbPipe pipe, std::span<uint8_t> buffer, std::chrono::milliseconds timeout,
                const CancelToken& cancel) override {
    const bool interrupt = pipe == UsbPipe::kInterruptIn;
    return Transfer(interrupt ? interruptIn_ : bulkIn_,
                    interrupt ? LIBUSB_TRANSFER_TYPE_INTERRUPT : LIBUSB_TRANSFER_TYPE_BULK, buffer.data(),
                    buffer.size(), timeout, cancel);
  }

  IoResult Write(std::span<const uint8_t> bytes, std::chrono::milliseconds timeout,
                 const CancelToken& cancel) override {
    // libusb wants a writable buffer even for OUT transfers.
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    return Transfer(bulkOut_, LIBUSB_TRANSFER_TYPE_BULK, copy.data(), copy.size(), timeout, cancel);
  }

  size_t MaxPacketSize() const override { return maxPacket_; }
  std::string LastError() const override { return lastError_; }

 private:
  static void LIBUSB_CALL Completed(libusb_transfer* t) {
    static_cast<std::atomic<int>*>(t->user_data)->store(1);
  }

  IoResult Transfer(uint8_t endpoint, uint8_t type, uint8_t* data, size_t length, std::chrono::milliseconds timeout,
                    const CancelToken& cancel) {
    if (wedged_) return {IoStatus::kError, 0};
    libusb_transfer* t = libusb_alloc_transfer(0);
    if (t == nullptr) return {IoStatus::kError, 0};
    std::atomic<int> done{0};
    // No libusb time-out: we keep our own deadline so the abort flag is
    // looked at between slices.
    t->dev_handle = handle_;
    t->endpoint = endpoint;
    t->type = type;
    t->timeout = 0;
    t->buffer = data;
    t->length = static_cast<int>(length);
    t->user_data = &done;
    t->callback = Completed;
    const int submitted = libusb_submit_transfer(t);
    if (submitted != 0) {
      libusb_free_transfer(t);
      lastError_ = LibusbText(submitted);
      return {submitted == LIBUSB_ERROR_NO_DEVICE ? IoStatus::kHangUp : IoStatus::kError, 0};
    }
    const auto deadline = Clock::now() + timeout;
    IoStatus whyCancelled = IoStatus::kTimeout;
    bool cancelling = false;
    Clock::time_point cancelledAt;
    int completed = 0;
    while (done.load() == 0) {
      timeval slice{0, kEventSliceUs};
      completed = 0;
      libusb_handle_events_timeout_completed(usb_, &slice, &completed);
      if (done.load() != 0) break;
      const auto now = Clock::now();
      if (!cancelling && (cancel.cancelled() || now >= deadline)) {
        whyCancelled = cancel.cancelled() ? IoStatus::kCancelled : IoStatus::kTimeout;
        libusb_cancel_transfer(t);
        cancelling = true;
        cancelledAt = now;
      } else if (cancelling && now - cancelledAt > kCancelGrace) {
        // Never free or close under a transfer libusb still holds.
        wedged_ = true;
        lastError_ = "USB transfer could not be cancelled";
        return {IoStatus::kError, 0};
      }
    }
    IoResult r{IoStatus::kOk, static_cast<size_t>(t->actual_length)};
    switch (t->status) {
      case LIBUSB_TRANSFER_COMPLETED: break;
      case LIBUSB_TRANSFER_CANCELLED: r.status = whyCancelled; break;
      case LIBUSB_TRANSFER_TIMED_OUT: r.status = IoStatus::kTimeout; break;
      case LIBUSB_TRANSFER_NO_DEVICE:
        r.status = IoStatus::kHangUp;
        lastError_ = "The unit was unplugged";
        break;
      default:
        r.status = IoStatus::kError;
        lastError_ = "USB transfer failed (" + std::to_string(static_cast<int>(t->status)) + ")";
        break;
    }
    libusb_free_transfer(t);
    return r;
  }

  libusb_context* usb_;
  libusb_device_handle* handle_;
  int interface_;
  uint8_t interruptIn_, bulkIn_, bulkOut_;
  size_t maxPacket_;
  bool wedged_ = false;
  std::string lastError_;
};

struct Endpoints {
  int interfaceNumber = -1;
  uint8_t interruptIn = 0, bulkIn = 0, bulkOut = 0;
  size_t maxPacket = 0;
};

// The first interface with an interrupt IN, a bulk IN and a bulk OUT endpoint.
bool FindEndpoints(libusb_device* dev, Endpoints& out) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(dev, &config) != 0 &&
      libusb_get_config_descriptor(dev, 0, &config) != 0)
    return false;
  bool found = false;
  for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
    if (config->interface[i].num_altsetting < 1) continue;
    const libusb_interface_descriptor& alt = config->interface[i].altsetting[0];
    Endpoints e;
    e.interfaceNumber = alt.bInterfaceNumber;
    for (int k = 0; k < alt.bNumEndpoints; ++k) {
      const libusb_endpoint_descriptor& ep = alt.endpoint[k];
      const int kind = ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
      const bool in = (ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
      if (kind == LIBUSB_TRANSFER_TYPE_INTERRUPT && in) e.interruptIn = ep.bEndpointAddress;
      if (kind == LIBUSB_TRANSFER_TYPE_BULK && in) e.bulkIn = ep.bEndpointAddress;
      if (kind == LIBUSB_TRANSFER_TYPE_BULK && !in) {
        e.bulkOut = ep.bEndpointAddress;
        e.maxPacket = ep.wMaxPacketSize;
      }
    }
    if (e.interruptIn && e.bulkIn && e.bulkOut) {
      out = e;
      found = true;
    }
  }
  libusb_free_config_descriptor(config);
  return found;
}

}  // namespace

UsbOpenOutcome OpenLibusbGarmin(std::unique_ptr<UsbDevice>& out, std::string& error) {
  libusb_context* usb = nullptr;
  if (const int rc = libusb_init(&usb); rc != 0) {
    error = "USB access is not available (" + LibusbText(rc) + ")";
    return UsbOpenOutcome::kFailed;
  }
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(usb, &list);
  UsbOpenOutcome outcome = UsbOpenOutcome::kNoUnit;
  for (ssize_t i = 0; i < n && !out; ++i) {
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(list[i], &desc) != 0) continue;
    if (desc.idVendor != kGarminUsbVendor || desc.idProduct != kGarminUsbProduct) continue;
    Endpoints ep;
    if (!FindEndpoints(list[i], ep)) continue;
    libusb_device_handle* handle = nullptr;
    const int rc = libusb_open(list[i], &handle);
    if (rc == LIBUSB_ERROR_ACCESS) {
      outcome = UsbOpenOutcome::kAccessDenied;
      continue;
    }
    if (rc != 0) {
      error = "Could not open the USB unit (" + LibusbText(rc) + ")";
      outcome = UsbOpenOutcome::kFailed;
      continue;
    }
    // A kernel driver (garmin_gps) that took the unit is set aside while we
    // hold it and given it back when we let go.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    const int claimed = libusb_claim_interface(handle, ep.interfaceNumber);
    if (claimed != 0) {
      libusb_close(handle);
      if (claimed == LIBUSB_ERROR_ACCESS) {
        outcome = UsbOpenOutcome::kAccessDenied;
      } else {
        error = "Could not claim the USB unit (" + LibusbText(claimed) + ")";
        outcome = UsbOpenOutcome::kFailed;
      }
      continue;
    }
    out = std::make_unique<LibusbDevice>(usb, handle, ep.interfaceNumber, ep.interruptIn, ep.bulkIn, ep.bulkOut,
                                         ep.maxPacket);
    outcome = UsbOpenOutcome::kOpened;
  }
  if (n >= 0) libusb_free_device_list(list, 1);
  if (!out) libusb_exit(usb);
  return outcome;
}

}  // namespace skylode::garmin
