#pragma once
// The report of `ovctl status`: one labelled line per area of Orvia's state.
#include "types.h"

#include <string>

namespace ovctl {

// The report lines for Orvia's status answer, joined with "\n". Never fails: the first
// lines always appear (with fallback texts), the others only for areas the answer describes.
std::string status_report(const Json& answer);

}  // namespace ovctl
