#include "protocols/flytec/product.h"

#include <array>

#include "protocols/flytec/instrument_text.h"

namespace skylode::flytec {

std::string BlankNormalise(std::string_view text, size_t maxLength) {
  std::string out;
  bool pendingBlank = false;
  for (char c : text) {
    if (c == ' ') {
      pendingBlank = !out.empty();
      continue;
    }
    if (pendingBlank) out.push_back(' ');
    pendingBlank = false;
    out.push_back(c);
  }
  if (out.size() > maxLength) out.resize(maxLength);
  // A cut can leave a blank at the end.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string FlightNumberCommand(int flightNumber) {
  const int nn = flightNumber < 0 ? 0 : flightNumber > 99 ? 99 : flightNumber;
  std::string body = "PBRTR,";
  body.push_back(static_cast<char>('0' + nn / 10));
  body.push_back(static_cast<char>('0' + nn % 10));
  unsigned char sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string cmd = "\x11$";
  cmd += body;
  cmd.push_back('*');
  cmd.push_back(kHex[sum >> 4]);
  cmd.push_back(kHex[sum & 15]);
  cmd += "\r\n";
  return cmd;
}

ProductReplyStatus ParseProductReply(const std::vector<std::string_view>& fields, ProductData& out) {
  if (fields.size() < 5 || fields[0] != "$PBRSNP") return ProductReplyStatus::kNotProductData;
  ProductData p;
  p.product = BlankNormalise(fields[1], kProductMax);
  for (char& c : p.product)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  p.pilotName = BlankNormalise(fields[2], kPilotNameMax);
  p.serialNumber = BlankNormalise(fields[3], kSerialNumberMax);
  p.softwareVersion = BlankNormalise(fields[4], kSoftwareVersionMax);
  if (p.pilotName.empty()) return ProductReplyStatus::kNoPilotName;
  // Cut to the instrument's widths first: they count its own characters.
  for (std::string* field : {&p.product, &p.pilotName, &p.serialNumber, &p.softwareVersion})
    *field = DecodeInstrumentText(*field);
  out = std::move(p);
  return ProductReplyStatus::kOk;
}

std::string ModelName(std::string_view product) {
  // Order matters: "COMPEO+" before "COMPEO", which "COMPEO+" also contains.
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kModels{{
      {"5020", "5020"},
      {"5030", "5030"},
      {"6020", "6020"},
      {"6030", "6030"},
      {"COMPEO+", "Compeo+"},
      {"COMPEO", "Compeo"},
      {"COMPETINO+", "Competino+"},
      {"COMPETINO", "Competino"},
      {"GALILEO", "Galileo"},
  }};
  for (const auto& [key, name] : kModels)
    if (product.find(key) != std::string_view::npos) return std::string(name);
  return "Unknown";
}

std::string InstrumentIdentification(std::string_view model, std::string_view serialNumber) {
  std::string id(model);
  id.push_back(':');
  id += serialNumber;
  if (id.size() > kInstrumentIdMax) id.resize(kInstrumentIdMax);
  return id;
}

bool UsesTrackList(std::string_view product, std::string_view softwareVersion) {
  if (product == "COMPETINO" || product == "5020") return softwareVersion > std::string_view("1.13");
  if (product == "COMPEO" || product == "5030" || product == "GALILEO")
    return softwareVersion > std::string_view("2.19");
  return product == "COMPEO+" || product == "6030" || product == "COMPETINO+" || product == "6020";
}

}  // namespace skylode::flytec
