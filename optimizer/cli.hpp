#pragma once

#include <cstdio>

namespace tilefold {

// The tilefold command: argv as main receives it; folds argv[1] into out.chr
// (256 tiles) and out.nam (one slot number per input tile) in the current
// directory. Messages go to `err`. Returns the exit status.
int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

} // namespace tilefold
