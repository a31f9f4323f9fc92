#include "fileio.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <new>

namespace fileio {

std::string Failure::text() const {
    return reason != nullptr ? reason : std::strerror(error);
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

namespace {

Failure from_errno() {
    return Failure{errno, nullptr};
}

FilePtr stream_for(int fd, const char* mode) {
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
bool make_blocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// Temporary files not yet committed, so that a run stopped by a signal
// leaves none behind: a list of nodes that only grows. A node is made, or a
// free one taken, only while the cleanup signals are held back, so the
// handler never meets one half written; it reads the list and unlinks, both
// async-signal-safe.
struct Pending {
    std::atomic<Pending*> next{nullptr};
    volatile std::sig_atomic_t live = 0;
    char path[PATH_MAX] = {};
};
static_assert(std::atomic<Pending*>::is_always_lock_free);
std::atomic<Pending*> g_pending{nullptr};

extern "C" void remove_pending_and_die(int sig) {
    for (Pending* p = g_pending.load(); p != nullptr; p = p->next.load()) {
        if (p->live != 0) {
            ::unlink(p->path);
        }
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

void install_cleanup_handlers() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    for (int sig : kCleanupSignals) {
        struct sigaction old {};
        // A signal the caller chose to ignore stays ignored.
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
            struct sigaction act {};
            act.sa_handler = remove_pending_and_die;
            sigemptyset(&act.sa_mask);
            ::sigaction(sig, &act, nullptr);
        }
    }
}

// Notes a temporary file for the handler; only while the signals are held.
// False when there is no memory for one more node.
bool remember_pending(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return false; // mkostemp could not have made it
    }
    Pending* node = g_pending.load();
    while (node != nullptr && node->live != 0) {
        node = node->next.load();
    }
    if (node == nullptr) {
        node = new (std::nothrow) Pending;
        if (node == nullptr) {
            return false;
        }
        node->next.store(g_pending.load());
        g_pending.store(node);
    }
    std::memcpy(node->path, path.c_str(), path.size() + 1);
    node->live = 1;
    install_cleanup_handlers();
    return true;
}

// Holds the cleanup signals back while a temporary file is created and
// noted, so that a signal between the two cannot leave it behind; one that
// came meanwhile is taken when they are let through again.
class CleanupSignalsHeld {
  public:
    CleanupSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int sig : kCleanupSignals) {
            sigaddset(&held, sig);
        }
        ::pthread_sigmask(SIG_BLOCK, &held, &before_);
    }
    ~CleanupSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
    CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
    CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

  private:
    sigset_t before_;
};

void forget_pending(const std::string& path) {
    for (Pending* p = g_pending.load(); p != nullptr; p = p->next.load()) {
        if (p->live != 0 && path == p->path) {
            p->live = 0;
        }
    }
}

std::string directory_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

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
        target = link.starts_with('/') ? link : directory_of(target) + "/" + link;
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

Output::~Output() {
    abandon();
}

void Output::abandon() {
    file_.reset();
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        forget_pending(temporary_);
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
    const std::size_t slash = target_.rfind('/');
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    std::string name = directory_of(target_) + "/." + base + ".XXXXXX";
    int tmp = -1;
    {
        const CleanupSignalsHeld held;
        tmp = ::mkostemp(name.data(), O_CLOEXEC);
        if (tmp >= 0 && !remember_pending(name)) {
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
    forget_pending(temporary_);
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

DirectoryLock::DirectoryLock(const char* dir) {
    fd_ = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
}

DirectoryLock::~DirectoryLock() {
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
    }
}

} // namespace fileio
