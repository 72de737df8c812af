#pragma once
// Turns the words of a command line into one API command (or a sound-by-name request, or
// a usage error). Pure: never contacts Orvia.
#include "types.h"

namespace ovctl {

// Reached with at least one word, no help/version flag and word 0 not help/version.
TranslatorResult translate(const GlobalOptions& options, const Words& words);

}  // namespace ovctl
