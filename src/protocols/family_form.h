// A small form a family asks for before one of its transfers (pilot data,
// IDs, an alarm height): labelled text fields with their limits, and the
// checks the answers must pass. The family row describes it; the window
// shows it, tests answer it, and a command-line run fills the fields it has
// values for. Nobody outside the family knows what the fields mean.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace skylode {

// What a command line can put into a field.
enum class FormFill { kNone, kPilotName, kCompetitionId, kCivlId };

struct FormField {
  std::string_view label{};  // also names the field in its messages
  size_t maxLength = 0;
  bool digitsOnly = false;
  FormFill fill = FormFill::kNone;
};

struct FormVerdict {
  enum class Kind { kAccept, kRefuse, kNothingToSend };
  Kind kind = Kind::kAccept;
  std::string message;  // for kRefuse: the form stays open
};

struct FamilyForm {
  std::string_view title{};
  std::string_view note{};     // a line under the fields, or empty
  std::string_view caption{};  // of its messages and of the transfer's
  std::span<const FormField> fields{};
  // Characters no field may hold; control characters never may. They would
  // end or shift the fields of the sentence the instrument reads.
  std::string_view refused = ",*$";
  // The family's own checks after the common ones; null: none.
  FormVerdict (*check)(std::span<const std::string> values) = nullptr;
};

// The common checks (length, digits, refused characters), then the family's.
FormVerdict CheckForm(const FamilyForm& form, std::span<const std::string> values);

// Values given without a person (a command line): a refused or control
// character becomes a blank, a digits-only field keeps its digits only where
// it had them (others become blanks too), and each is cut to its length.
std::vector<std::string> CleanFormValues(const FamilyForm& form, std::vector<std::string> values);

}  // namespace skylode
