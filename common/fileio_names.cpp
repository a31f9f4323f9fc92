#include "fileio.hpp"
#include "fileio_detail.hpp"

#include <unistd.h>

#include <climits>

namespace fileio {

std::string sibling_name(const char* path, const char* extension) {
    const std::string full(path);
    const std::size_t slash = full.rfind('/');
    const std::size_t dot = full.rfind('.');
    const bool has_dot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    std::string name = (has_dot ? full.substr(0, dot) : full) + "." + extension;
    if (name.size() > max_name) {
        return {};
    }
    return name;
}

namespace detail {

std::string directory_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string temporary_name(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string dir = directory_of(target);
    // A dot before the output's own name hides the file, and mkostemp needs
    // six characters after it: the copied part is cut short so that an
    // output name as long as the folder allows still leaves room for both.
    constexpr std::size_t added = 1 + 7; // "." and ".XXXXXX"
    const long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    const std::size_t longest =
        limit > static_cast<long>(added) ? static_cast<std::size_t>(limit) : std::size_t{NAME_MAX};
    return dir + "/." + base.substr(0, longest - added) + ".XXXXXX";
}

} // namespace detail

} // namespace fileio
