#pragma once
// Turns an accepted answer into the text ovctl prints. Never fails: missing or mistyped
// members fall back to fixed texts.
#include "types.h"

#include <string>

namespace ovctl {

// The text for the answer by its render kind; "" prints nothing.
std::string render_answer(const RenderKind& kind, const Json& answer);

}  // namespace ovctl
