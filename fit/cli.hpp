#pragma once

#include <cstdio>

namespace tilefit {

// The tilefit command: argv as main receives it. Help and the version go to
// `out`, as do the reports unless -q is given; everything else goes to
// `err`. Returns the exit status.
int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

} // namespace tilefit
