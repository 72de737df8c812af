#pragma once
// The command families: each command word (aliases included, lower-cased) that a family
// serves, and the family's translation function.
#include "../types.h"

#include <string_view>

namespace ovctl {

// The family serving a lower-cased command word, or nullptr when no family serves it.
FamilyFn find_family(std::string_view command_word);

}  // namespace ovctl
