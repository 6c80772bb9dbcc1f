#include "protocols/logit/name_form.h"

#include "protocols/logit/link.h"

namespace skylode::logit {

namespace {

FormVerdict CheckName(std::span<const std::string> values) {
  const std::string& name = values[0];
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    // The logger shows plain ASCII only.
    if (u < 0x20 || u > 0x7E) return {FormVerdict::Kind::kRefuse, "Fill in the name: printable ASCII characters only"};
  }
  if (name.empty()) return {FormVerdict::Kind::kNothingToSend, {}};
  return {};
}

constexpr FormField kNameFields[] = {
    {.label = "Fill in the name:", .maxLength = kOwnerNameLength},
};

}  // namespace

const FamilyForm kOwnerNameForm{
    .title = "Write GPS name",
    .caption = "Sending name",
    .fields = kNameFields,
    .refused = ",*$",
    .check = CheckName,
};

}  // namespace skylode::logit
