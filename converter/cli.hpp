#pragma once

#include <cstdio>

namespace tilecut {

// The tilecut command: argv as main receives it. Messages go to `err` (the
// tool prints nothing else). Returns the exit status.
int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

} // namespace tilecut
