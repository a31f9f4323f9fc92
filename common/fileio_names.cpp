#include "fileio.hpp"
#include "fileio_detail.hpp"

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
    return directory_of(target) + "/." + base + ".XXXXXX";
}

} // namespace detail

} // namespace fileio
