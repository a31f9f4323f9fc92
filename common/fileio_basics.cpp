#include "fileio.hpp"

#include <cstring>

namespace fileio {

std::string Failure::text() const {
    return reason != nullptr ? reason : std::strerror(error);
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace fileio
