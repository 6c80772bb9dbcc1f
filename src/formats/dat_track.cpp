// The old binary Aerodiary track file: 32-bit big-endian words, positions in
// UTM, a checksum and an optional validation word.
#include <new>

#include "analysis/geodesy.h"
#include "formats/track_files.h"

namespace skylode {
namespace {

constexpr uint32_t kValidationModulus = 1431655777u;

uint32_t Word(std::span<const uint8_t> bytes, size_t index) {
  const size_t at = index * 4;
  return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

bool ValidBand(char band) {
  band = static_cast<char>(band & ~0x20);
  return band >= 'C' && band <= 'X' && band != 'I' && band != 'O';
}

// The low 24 bits as a signed number.
int32_t Signed24(uint32_t word) {
  const int32_t low = static_cast<int32_t>(word & 0xFFFFFF);
  return low >= 0x800000 ? low - 0x1000000 : low;
}

Result<std::vector<TrackPoint>> Read(std::span<const uint8_t> bytes) {
  if (bytes.size() < 16) return Error::Content("File header too small");
  if (bytes.size() % 4 != 0) return Error::Content("File size not a multiple of 4");
  const uint64_t count = Word(bytes, 2);
  if (count == 0) return Error::Content("Zero track positions");
  if ((bytes[12] & 0x80) == 0) return Error::Content("Bad DWORD number 4");
  // In 64 bits: a count near 2^30 must not wrap round to a small file.
  const uint64_t words = bytes.size() / 4;
  const uint64_t perPoint = bytes[4] != 0 ? 4 : 3;
  const uint64_t body = count * perPoint + 5;
  if (words != body && words != body + 1) return Error::Content("File size not consistent with track positions");
  const size_t checksumIndex = static_cast<size_t>(body - 1);
  uint32_t sum = 0;
  for (size_t i = 0; i <= checksumIndex; ++i) sum += Word(bytes, i);
  if (sum != 0) return Error::Content("Checksum verification failed");
  if (words == body + 1) {
    std::vector<uint32_t> checked(checksumIndex + 1);
    for (size_t i = 0; i <= checksumIndex; ++i) checked[i] = Word(bytes, i);
    if (Word(bytes, checksumIndex + 1) + DatValidationValue(checked) + 1 != 0)
      return Error::Content("Data validation failed");
  }
  UtmPosition utm;
  utm.zone = bytes[14];
  utm.band = static_cast<char>(bytes[15]);
  if (utm.zone < 1 || utm.zone > 60 || !ValidBand(utm.band)) return Error::Content("Bad UTM zone");

  std::vector<TrackPoint> points(static_cast<size_t>(count));
  for (size_t k = 0; k < points.size(); ++k) {
    const size_t at = 4 + k * static_cast<size_t>(perPoint);
    TrackPoint& p = points[k];
    p.time = Word(bytes, at);
    utm.easting = Word(bytes, at + 1);
    utm.northing = Word(bytes, at + 2);
    const auto position = RadiansToSemicircles(FromUtm(utm));
    if (!position) return Error::Content("Bad position " + std::to_string(k + 1));
    p.latitude = position->latitude;
    p.longitude = position->longitude;
    if (perPoint == 4) p.gpsHeight = Signed24(Word(bytes, at + 3));
  }
  points.front().flags = kTrackPointStartsSegment;
  return points;
}

}  // namespace

uint32_t DatValidationValue(std::span<const uint32_t> words) {
  // V < 2^31, so V × 2^32 + word fits in 64 bits.
  uint64_t v = 0;
  for (uint32_t w : words) v = ((v << 32) | w) % kValidationModulus;
  return static_cast<uint32_t>(v);
}

Result<std::vector<TrackPoint>> ReadDatTrack(std::span<const uint8_t> bytes) {
  try {
    return Read(bytes);
  } catch (const std::bad_alloc&) {
    return Error::Of(ErrorKind::kNoMemory, "Track log memory allocation");
  }
}

}  // namespace skylode
