#include "platform/console.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

namespace OS {

bool IsTerminal(int stream) { return isatty(stream) == 1; }

void WatchInterruptSignals(std::function<void(int signal)> onSignal) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, onSignal = std::move(onSignal)] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) == 0) onSignal(signal);
    }
  }).detach();
}

int InterruptSignalNumber() { return SIGINT; }
int TerminateSignalNumber() { return SIGTERM; }

}  // namespace OS
