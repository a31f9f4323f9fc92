// What the parts of fileio share and no tool needs: descriptors turned into
// streams, and the folder a path names.
#pragma once

#include "fileio.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace fileio::detail {

inline Failure from_errno() {
    return Failure{errno, nullptr};
}

// The descriptor as a stream; on failure it is closed and errno kept.
inline FilePtr stream_for(int fd, const char* mode) {
    std::FILE* f = ::fdopen(fd, mode);
    if (f == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return FilePtr(f);
}

// Opening without O_NONBLOCK would wait forever on a named pipe that nobody
// writes to; once open, reads should block as usual.
inline bool make_blocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// The folder part of a path: "." for a bare name, "/" for one in the root.
std::string directory_of(const std::string& path);

// The hidden name an output is written under until it is committed, in the
// folder of `target`; mkostemp replaces its last six characters.
std::string temporary_name(const std::string& target);

} // namespace fileio::detail
