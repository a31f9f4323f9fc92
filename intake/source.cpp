#include "readers.hpp"

#include <algorithm>
#include <cstring>

namespace intake {

bool ByteSource::read(std::uint64_t offset, std::size_t n, Bytes& out) {
    out.resize(n);
    return read(offset, n, out.data());
}

bool MemorySource::read(std::uint64_t offset, std::size_t n, std::uint8_t* dst) {
    if (offset > bytes_.size() || bytes_.size() - offset < n) {
        return false;
    }
    if (n > 0) {
        std::memcpy(dst, bytes_.data() + offset, n);
    }
    return true;
}

std::unique_ptr<FileSource> FileSource::open(const char* path, struct stat* opened,
                                             LoadError& why) {
    fileio::Failure failure;
    std::optional<fileio::Input> file = fileio::Input::open(path, failure);
    if (!file) {
        why = LoadError{Reason::cannot_open, failure.text()};
        return nullptr;
    }
    if (!S_ISREG(file->status().st_mode)) {
        why = LoadError{Reason::not_regular_file, {}};
        return nullptr;
    }
    const std::optional<std::uint64_t> size = file->size(failure);
    if (!size) {
        why = LoadError{Reason::cannot_open, failure.text()};
        return nullptr;
    }
    if (opened != nullptr) {
        *opened = file->status();
    }
    return std::unique_ptr<FileSource>(new FileSource(std::move(*file), *size));
}

bool FileSource::read(std::uint64_t offset, std::size_t n, std::uint8_t* dst) {
    if (offset > size_ || size_ - offset < n) {
        return false;
    }
    std::FILE* f = file_.stream();
    // Seeking costs a system call even within the stream's buffer, and the
    // readers mostly go forwards, so seek only when the position is wrong.
    if (offset != position_) {
        position_ = kUnknownPosition;
        if (::fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) {
            return false;
        }
    }
    if (std::fread(dst, 1, n, f) != n) {
        position_ = kUnknownPosition;
        return false;
    }
    position_ = offset + n;
    return true;
}

bool Reader::refill() {
    const std::uint64_t left = end_at_ - std::min(end_at_, at_);
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, 64 * 1024));
    if (n == 0 || !src_.read(at_, n, window_)) {
        return false;
    }
    at_ += n;
    cur_ = window_.data();
    end_ = cur_ + n;
    return true;
}

bool Reader::take(std::size_t n, std::uint8_t* dst) {
    while (n > 0) {
        if (cur_ == end_ && !refill()) {
            return false;
        }
        const std::size_t k = std::min(n, static_cast<std::size_t>(end_ - cur_));
        std::copy_n(cur_, k, dst);
        cur_ += k;
        dst += k;
        n -= k;
    }
    return true;
}

void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

} // namespace intake
