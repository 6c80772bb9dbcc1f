// The "Write GPS name" form of the LogIt owner name.
#pragma once

#include "protocols/family_form.h"

namespace skylode::logit {

// One field of at most nine characters: printable ASCII without ',', '*'
// and '$', which would end or shift the fields of the name sentence. An
// empty name sends nothing.
extern const FamilyForm kOwnerNameForm;

}  // namespace skylode::logit
