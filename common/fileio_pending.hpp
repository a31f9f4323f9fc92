// The temporary files not yet committed, removed by a handler of SIGINT,
// SIGTERM and SIGHUP, so that a run stopped by one leaves none behind. A
// signal the caller ignores stays ignored, and is never taken over.
#pragma once

#include <csignal>
#include <string>

namespace fileio::pending {

// Holds the cleanup signals back while a temporary file is created and
// noted, so that a signal between the two cannot leave it behind; one that
// came meanwhile is taken when they are let through again.
class SignalsHeld {
  public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
    sigset_t before_;
};

// Notes a temporary file for the handler, and installs the handler on first
// use. Only while the signals are held. False when there is no memory for
// the note: the caller then removes the file and reports the failure.
bool remember(const std::string& path);

// The file is committed or removed: the handler leaves it alone.
void forget(const std::string& path);

} // namespace fileio::pending
