// Standard output whose reader quits early, on POSIX and Windows.
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "host/host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace host {
namespace {

// The status a shell gives a process killed by SIGPIPE (128 + 13); a host
// without the signal ends with it, so that scripts see the same number.
constexpr int kStoppedFilterStatus = 141;

}  // namespace

#if defined(_WIN32)

// Windows has no SIGPIPE: a write to a pipe nobody reads just fails.
void KeepRunningWhenReaderQuits() {}

// The runtime reports a write to a closed pipe as EINVAL, not EPIPE; the
// system's error it kept says which: the pipe is broken (109), being
// closed (232) or has no reader at all (233).
bool ReaderHasGone(int error) {
  if (error == EPIPE) return true;
  const unsigned long system_error = _doserrno;
  return error == EINVAL &&
         (system_error == ERROR_BROKEN_PIPE || system_error == ERROR_NO_DATA ||
          system_error == ERROR_PIPE_NOT_CONNECTED);
}

void EndAsStoppedFilter() { std::_Exit(kStoppedFilterStatus); }

#else

void KeepRunningWhenReaderQuits() { std::signal(SIGPIPE, SIG_IGN); }

bool ReaderHasGone(int error) { return error == EPIPE; }

// The default action again, unblocked, and the signal itself: the parent
// sees what it sees of any filter cut off by its reader. Should the signal
// not end the process, the status says the same.
void EndAsStoppedFilter() {
  std::signal(SIGPIPE, SIG_DFL);
  sigset_t pipe_only;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  sigprocmask(SIG_UNBLOCK, &pipe_only, nullptr);
  std::raise(SIGPIPE);
  _exit(kStoppedFilterStatus);
}

#endif

}  // namespace host
