#pragma once

#include <cstdio>

namespace quality {

// The quality benchmark: argv as main receives it. The tables go to `out`,
// every complaint to `err`. Returns the exit status.
int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

} // namespace quality
