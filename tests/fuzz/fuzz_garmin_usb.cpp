// A transfer from a Garmin unit on USB: the packet header may claim any
// size. Decoding must never read past what came, must keep at most the
// largest packet, and a whole packet it takes encodes and decodes to itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "protocols/garmin/link.h"
#include "protocols/garmin/usb_link.h"

using namespace skylode::garmin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes: how many more came than were kept (a long bulk
  // transfer is cut to the buffer).
  const size_t extra = data[0] | (data[1] << 8);
  const std::span<const uint8_t> kept(data + 2, std::min(size - 2, kUsbPacketKept));
  GarminUsbPacket p;
  const UsbPacketCheck check = DecodeGarminUsbPacket(kept, size - 2 + extra, p);
  if (check != UsbPacketCheck::kOk) return 0;
  if (p.data.size() > kMaxPacketData || p.data.size() > p.declaredSize) abort();
  if (p.data.size() == p.declaredSize) {
    const std::vector<uint8_t> again = EncodeGarminUsbPacket(p.type, p.id, p.data);
    GarminUsbPacket q;
    if (DecodeGarminUsbPacket(again, again.size(), q) != UsbPacketCheck::kOk || q.type != p.type || q.id != p.id ||
        q.declaredSize != p.declaredSize || q.data != p.data)
      abort();
  }
  return 0;
}
