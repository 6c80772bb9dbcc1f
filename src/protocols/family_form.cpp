#include "protocols/family_form.h"

namespace skylode {
namespace {

bool IsControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

bool Refused(const FamilyForm& form, char c) { return IsControl(c) || form.refused.find(c) != std::string_view::npos; }

}  // namespace

FormVerdict CheckForm(const FamilyForm& form, std::span<const std::string> values) {
  auto refuse = [](std::string text) { return FormVerdict{FormVerdict::Kind::kRefuse, std::move(text)}; };
  if (values.size() != form.fields.size()) return refuse("Missing input");
  for (size_t i = 0; i < values.size(); ++i) {
    const FormField& field = form.fields[i];
    const std::string label(field.label);
    for (char c : values[i]) {
      if (IsControl(c)) return refuse(label + " contains a control character");
      if (Refused(form, c)) return refuse(label + " contains '" + std::string(1, c) + "'");
      if (field.digitsOnly && (c < '0' || c > '9')) return refuse(label + ": digits only");
    }
    if (field.maxLength > 0 && values[i].size() > field.maxLength)
      return refuse(label + ": at most " + std::to_string(field.maxLength) + " characters");
  }
  if (form.check) return form.check(values);
  return {};
}

std::vector<std::string> CleanFormValues(const FamilyForm& form, std::vector<std::string> values) {
  values.resize(form.fields.size());
  for (size_t i = 0; i < values.size(); ++i) {
    const FormField& field = form.fields[i];
    for (char& c : values[i]) {
      if (Refused(form, c) || (field.digitsOnly && (c < '0' || c > '9'))) c = ' ';
    }
    if (field.maxLength > 0 && values[i].size() > field.maxLength) values[i].resize(field.maxLength);
  }
  return values;
}

}  // namespace skylode
