// The only code of fileio that runs inside a signal handler: everything the
// handler touches is a lock-free atomic, a volatile sig_atomic_t or bytes
// written while the signals were held, and it calls only unlink, signal and
// raise.
#include "fileio_pending.hpp"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <new>

namespace fileio::pending {

namespace {

// A list of nodes that only grows, one per file pending at once: a node is
// made, or a free one taken, only while the cleanup signals are held back,
// so that the handler never meets one half written.
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

} // namespace

SignalsHeld::SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int sig : kCleanupSignals) {
        sigaddset(&held, sig);
    }
    ::pthread_sigmask(SIG_BLOCK, &held, &before_);
}

SignalsHeld::~SignalsHeld() {
    ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

bool remember(const std::string& path) {
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

void forget(const std::string& path) {
    for (Pending* p = g_pending.load(); p != nullptr; p = p->next.load()) {
        if (p->live != 0 && path == p->path) {
            p->live = 0;
        }
    }
}

} // namespace fileio::pending
