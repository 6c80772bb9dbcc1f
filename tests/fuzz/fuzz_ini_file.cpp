// The settings file is text a user may edit: any content must parse or be
// refused cleanly, and what we write back must read back the same.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shell/settings/ini_file.h"

using namespace skylode;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto doc = IniDocument::Parse(text);
  if (!doc) return 0;
  const std::string once = doc->Serialise();
  auto again = IniDocument::Parse(once);
  if (!again || again->Serialise() != once) std::abort();
  const std::string value(text.substr(0, 64));
  if (IniDocument::DecodeValue(IniDocument::EncodeValue(value)) != value) std::abort();
  return 0;
}
