// What a Flytec or Brauniger instrument says about itself, and the rules that
// follow from it: the model name and whether it can list its flights.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skylode::flytec {

// Every command starts with XON so that an instrument left in the XOFF state
// by an interrupted transfer listens again.
inline constexpr std::string_view kProductDataCommand = "\x11$PBRSNP,*21\r\n";
inline constexpr std::string_view kTrackListCommand = "\x11$PBRTL,*74\r\n";
inline constexpr std::string_view kMostRecentFlightCommand = "\x11$PBRIGC,*21\r\n";
inline constexpr std::string_view kWaypointListCommand = "\x11$PBRWPS,*38\r\n";

inline constexpr size_t kProductMax = 16;
inline constexpr size_t kPilotNameMax = 40;
inline constexpr size_t kSerialNumberMax = 7;
inline constexpr size_t kSoftwareVersionMax = 6;
inline constexpr size_t kInstrumentIdMax = 50;

struct ProductData {
  std::string product;          // upper case
  std::string pilotName;
  std::string serialNumber;
  std::string softwareVersion;  // e.g. "2.19"
};

// Leading and trailing blanks removed, inner runs reduced to one, then cut to
// `maxLength` characters.
std::string BlankNormalise(std::string_view text, size_t maxLength);

// The request for one flight of the track list: XON, "$PBRTR,NN*CS", CR, LF.
std::string FlightNumberCommand(int flightNumber);

enum class ProductReplyStatus { kOk, kNotProductData, kNoPilotName };

// Fills `out` from the fields of a checked and split $PBRSNP reply (field 0
// is the sentence name). Fewer than five fields or another sentence name is
// kNotProductData; an empty pilot name is kNoPilotName.
ProductReplyStatus ParseProductReply(const std::vector<std::string_view>& fields, ProductData& out);

// "5020" ... "Galileo" by the first name the product contains, else "Unknown".
std::string ModelName(std::string_view product);

// The model name, ':' and the serial number, at most 50 characters.
std::string InstrumentIdentification(std::string_view model, std::string_view serialNumber);

// Whether this product and firmware can list flights; older ones only hand
// out their most recent flight. Versions compare as strings, byte by byte.
bool UsesTrackList(std::string_view product, std::string_view softwareVersion);

}  // namespace skylode::flytec
