// The runsquash command: reads one file whole and writes it as a 2-byte
// big-endian length (low 16 bits of the size) followed by the packet stream.
#pragma once

#include <cstdio>

namespace runsquash {

// argv as main receives it: argv[1] is the input path, argv[2] the output
// path, anything after is ignored. Progress lines go to `out`, messages to
// `err`. Returns the exit status.
int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

} // namespace runsquash
