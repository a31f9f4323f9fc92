#include "fileio.hpp"
#include "fileio_detail.hpp"

#include <sys/stat.h>

namespace fileio {

using detail::from_errno;
using detail::make_blocking;
using detail::stream_for;

std::optional<std::vector<std::uint8_t>> read_file(const char* path, std::uint64_t limit,
                                                   Failure& why, struct stat* opened) {
    std::optional<Input> in = Input::open(path, why);
    if (!in) {
        return std::nullopt;
    }
    if (opened != nullptr) {
        *opened = in->status();
    }
    const std::optional<std::uint64_t> size = in->size(why);
    if (!size) {
        return std::nullopt;
    }
    if (*size > limit) {
        why = Failure{0, too_large};
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*size));
    if (!in->read(bytes.data(), bytes.size(), why) || !in->at_end(why)) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<Input> Input::open(const char* path, Failure& why) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = from_errno();
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !make_blocking(fd)) {
        why = from_errno();
        ::close(fd);
        return std::nullopt;
    }
    FilePtr file = stream_for(fd, "rb");
    if (!file) {
        why = from_errno();
        return std::nullopt;
    }
    return Input(std::move(file), st);
}

std::optional<std::uint64_t> Input::size(Failure& why) {
    if (S_ISDIR(status_.st_mode)) {
        why = Failure{EISDIR, nullptr};
        return std::nullopt;
    }
    if (S_ISFIFO(status_.st_mode) || S_ISSOCK(status_.st_mode)) {
        why = Failure{ESPIPE, nullptr};
        return std::nullopt;
    }
    // A character device such as /dev/zero seeks, but its "size" says
    // nothing about what reading it would give.
    if (!S_ISREG(status_.st_mode) && !S_ISBLK(status_.st_mode)) {
        why = Failure{0, not_regular};
        return std::nullopt;
    }
    const int fd = ::fileno(file_.get());
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0 || ::lseek(fd, 0, SEEK_SET) != 0) {
        why = from_errno();
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(end);
}

bool Input::read(void* dst, std::size_t n, Failure& why) {
    if (n == 0 || std::fread(dst, 1, n, file_.get()) == n) {
        return true;
    }
    why = std::ferror(file_.get()) != 0 ? from_errno() : Failure{0, ended_early};
    return false;
}

bool Input::at_end(Failure& why) {
    if (std::fgetc(file_.get()) == EOF) {
        if (std::ferror(file_.get()) == 0) {
            return true;
        }
        why = from_errno();
        return false;
    }
    why = Failure{0, longer_than_size};
    return false;
}

} // namespace fileio
