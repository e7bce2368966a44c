// SIGINT, SIGTERM and SIGHUP end qvrun as they end any program, with the
// conventional status, but only after what the program printed has reached
// standard output: with output to a file or pipe it sits in the stream's
// buffer, and dying at once would lose it. The signals are taken by a
// thread that waits for them (one of its own, or a worker that has done
// its job and stays for them), so the flush runs outside
// signal context, the executor's loops pay nothing, and a program blocked
// in a delay, a recording or a computation ends all the same.
#include "stop_signals.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

namespace qv {

namespace {

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int LOCK_TRIES = 100;            // the program may hold the stream...
constexpr useconds_t LOCK_PAUSE_US = 10000;  // ...for about a second at most

sigset_t caught;                      // the signals blocked for the waiter
std::atomic<bool> waiter_claimed{true};  // nothing to wait for until caught

// The program's thread may be in the middle of a write that holds the
// stream, or blocked on a pipe nobody reads: wait for the stream a while,
// never for ever.
void flush_stdout_if_free() {
  for (int i = 0; i < LOCK_TRIES; ++i) {
    if (ftrylockfile(stdout) == 0) {
      std::fflush(stdout);
      funlockfile(stdout);
      return;
    }
    usleep(LOCK_PAUSE_US);
  }
}

[[noreturn]] void die_of(int sig) {
  std::signal(sig, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, sig);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(sig);
  _exit(128 + sig);  // not reached: the default action ends the process
}

// Whether a stop signal has come that no thread has taken yet.
bool stop_signal_pending() {
  sigset_t pending;
  if (sigpending(&pending) != 0) return false;
  for (int sig : STOP_SIGNALS)
    if (sigismember(&caught, sig) && sigismember(&pending, sig)) return true;
  return false;
}

}  // namespace

void catch_stop_signals() {
  sigemptyset(&caught);
  for (int sig : STOP_SIGNALS) {
    // A signal that was ignored when qvrun started (nohup, a background
    // job) stays ignored.
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaddset(&caught, sig);
  }
  if (sigisemptyset(&caught)) return;
  pthread_sigmask(SIG_BLOCK, &caught, nullptr);
  waiter_claimed = false;
}

bool claim_stop_waiting() {
  if (waiter_claimed.exchange(true)) return false;
  // One that came while no thread waited ends qvrun here, before the
  // caller goes on (and the program perhaps ends before the waiter runs).
  if (stop_signal_pending()) wait_for_stop_signals();
  return true;
}

void wait_for_stop_signals() {
  int sig = 0;
  while (sigwait(&caught, &sig) != 0) {
  }
  flush_stdout_if_free();
  die_of(sig);
}

void start_stop_waiter() {
  if (claim_stop_waiting()) std::thread(wait_for_stop_signals).detach();
}

}  // namespace qv
