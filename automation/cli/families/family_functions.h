#pragma once
// The family functions that the registry maps command words to; one unit each.
#include "../types.h"

namespace ovctl::families {

Result<Translation> plugins(const Words& words);

Result<Translation> tune(const Words& words);
Result<Translation> harmony(const Words& words);
Result<Translation> doubler(const Words& words);
Result<Translation> echo(const Words& words);

Result<Translation> meters(const Words& words);
Result<Translation> takes(const Words& words);

Result<Translation> music(const Words& words);
Result<Translation> karaoke(const Words& words);
Result<Translation> song(const Words& words);

Result<Translation> setup(const Words& words);
Result<Translation> hpcal(const Words& words);

Result<Translation> monitorfx(const Words& words);
Result<Translation> unmask(const Words& words);
Result<Translation> modulators(const Words& words);

Result<Translation> reference(const Words& words);
Result<Translation> assistant(const Words& words);
Result<Translation> ab(const Words& words);

Result<Translation> chop(const Words& words);
Result<Translation> dmca(const Words& words);

Result<Translation> instrument(const Words& words);
Result<Translation> looper(const Words& words);

Result<Translation> midi(const Words& words);

Result<Translation> lights(const Words& words);
Result<Translation> osc(const Words& words);
Result<Translation> reactive(const Words& words);

}  // namespace ovctl::families
