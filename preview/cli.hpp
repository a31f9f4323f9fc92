#pragma once

#include <cstdio>

namespace tileshow {

// The tileshow command: argv as main receives it. Help and the version go to
// `out`, everything else to `err`. Returns the exit status.
int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

} // namespace tileshow
