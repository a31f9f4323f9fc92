#include "fileio.hpp"
#include "fileio_detail.hpp"
#include "fileio_pending.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace fileio {

using detail::from_errno;
using detail::make_blocking;
using detail::stream_for;

namespace {

// The links under /proc (/dev/stdout, /dev/fd/N lead there) name a process's
// open descriptors: whatever file they reach, the caller means that
// descriptor, which a replaced file would no longer be.
bool on_procfs(const struct stat& link) {
    struct stat proc {};
    return ::stat("/proc/self", &proc) == 0 && link.st_dev == proc.st_dev;
}

// The file a name finally stands for, following symbolic links even where
// the last one points at nothing yet, so that a link is never replaced by a
// plain file. `descriptor` is set when a link on the way names a descriptor.
bool follow_links(const std::string& path, std::string& target, bool& descriptor, Failure& why) {
    target = path;
    descriptor = false;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno == ENOENT) {
                return true;
            }
            why = from_errno();
            return false;
        }
        if (!S_ISLNK(st.st_mode)) {
            return true;
        }
        descriptor = descriptor || on_procfs(st);
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0) {
            why = from_errno();
            return false;
        }
        link.resize(static_cast<std::size_t>(n));
        target = link.starts_with('/') ? link : detail::directory_of(target) + "/" + link;
    }
    why = Failure{ELOOP, nullptr};
    return false;
}

mode_t creation_mode() {
    // What open() would give a new file: 0666 less the umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

Output::~Output() {
    abandon();
}

void Output::abandon() {
    file_.reset();
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        pending::forget(temporary_);
        temporary_.clear();
    }
}

bool Output::open(const char* path, Failure& why) {
    abandon();
    existing_.reset();
    if (*path == '\0') {
        why = Failure{ENOENT, nullptr};
        return false;
    }
    // Opening what is there, without creating or truncating it, tells what it
    // is; links are followed as the system follows them, including the
    // special ones under /proc that name pipes.
    const int fd = ::open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) {
        why = from_errno();
        return false;
    }
    bool descriptor = false; // the name leads to a process's open descriptor
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            why = from_errno();
            ::close(fd);
            return false;
        }
        existing_ = st;
        if (S_ISREG(st.st_mode) && !follow_links(path, target_, descriptor, why)) {
            ::close(fd);
            return false;
        }
        if (!S_ISREG(st.st_mode) || descriptor) {
            // A device or a pipe cannot be replaced, only written to; nor
            // can a process's open descriptor.
            if ((descriptor && ::ftruncate(fd, 0) != 0) || !make_blocking(fd)) {
                why = from_errno();
                ::close(fd);
                return false;
            }
            file_ = stream_for(fd, "wb");
            if (!file_) {
                why = from_errno();
                return false;
            }
            target_ = path;
            return true;
        }
        ::close(fd);
    } else if (!follow_links(path, target_, descriptor, why)) {
        return false;
    }
    std::string name = detail::temporary_name(target_);
    int tmp = -1;
    {
        const pending::SignalsHeld held;
        tmp = ::mkostemp(name.data(), O_CLOEXEC);
        if (tmp >= 0 && !pending::remember(name)) {
            // Without a note, a signal would leave the file behind.
            ::unlink(name.c_str());
            ::close(tmp);
            tmp = -1;
            errno = ENOMEM;
        }
    }
    if (tmp < 0) {
        why = from_errno();
        return false;
    }
    temporary_ = name;
    const mode_t mode = existing_ ? existing_->st_mode & 07777 : creation_mode();
    if (existing_) {
        // Keeps the owner where the system lets us; otherwise the new file is
        // ours, as any replaced file would be.
        if (::fchown(tmp, existing_->st_uid, existing_->st_gid) != 0) {
            errno = 0;
        }
    }
    if (::fchmod(tmp, mode) != 0) {
        why = from_errno();
        ::close(tmp);
        abandon();
        return false;
    }
    file_ = stream_for(tmp, "wb");
    if (!file_) {
        why = from_errno();
        abandon();
        return false;
    }
    return true;
}

bool Output::replaces(const struct stat& st) const {
    return existing_ && same_file(*existing_, st);
}

bool Output::finish(Failure& why) {
    if (!file_) {
        return true;
    }
    // Buffered data reaches the file only here, so a full disk may first show
    // itself at this point.
    int error = 0;
    if (std::fflush(file_.get()) != 0 || std::ferror(file_.get()) != 0) {
        error = errno != 0 ? errno : EIO;
    }
    if (std::fclose(file_.release()) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        why = Failure{error, nullptr};
        abandon();
        return false;
    }
    return true;
}

bool Output::commit(Failure& why) {
    if (!finish(why)) {
        return false;
    }
    if (temporary_.empty()) {
        return true;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        why = from_errno();
        abandon();
        return false;
    }
    pending::forget(temporary_);
    temporary_.clear();
    return true;
}

bool OutputSet::open(std::span<const char* const> paths, std::span<const struct stat> inputs,
                     Refusal& refusal) {
    outputs_.clear();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        outputs_.push_back(std::make_unique<Output>());
        if (!outputs_.back()->open(paths[i], refusal.why)) {
            outputs_.clear();
            refusal.step = Refusal::Step::open;
            refusal.output = i;
            return false;
        }
    }
    // Each output is written to a new file, so an input that is one of them
    // would survive the run; but it would be replaced by what was made of it.
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
        for (std::size_t k = 0; k < inputs.size(); ++k) {
            if (outputs_[i]->replaces(inputs[k])) {
                outputs_.clear();
                refusal.step = Refusal::Step::replaces_input;
                refusal.output = i;
                refusal.input = k;
                return false;
            }
        }
    }
    return true;
}

bool OutputSet::commit(Refusal& refusal, std::span<const std::size_t> order) {
    std::vector<std::size_t> named;
    for (std::size_t i = 0; order.empty() && i < outputs_.size(); ++i) {
        named.push_back(i);
    }
    const std::span<const std::size_t> each = order.empty() ? named : order;
    for (const bool finishing : {true, false}) {
        for (const std::size_t i : each) {
            Output& output = *outputs_[i];
            if (!(finishing ? output.finish(refusal.why) : output.commit(refusal.why))) {
                outputs_.clear();
                refusal.step = Refusal::Step::write;
                refusal.output = i;
                return false;
            }
        }
    }
    outputs_.clear();
    return true;
}

} // namespace fileio
