#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "ui/console_backend.h"
#include "ui/console_os.h"

namespace carvex::ui::console {

namespace {

// The job takes the first Ctrl-C and stops on its own; the second ends the process, however
// long the job takes to notice the first.
void OnInterrupt(int) {
  if (gInterruptSeen.exchange(true)) std::_Exit(130);
  gInterrupted = true;
}

}  // namespace

bool StdinIsTerminal() { return ::isatty(0) == 1; }
bool StderrIsTerminal() { return ::isatty(2) == 1; }

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace carvex::ui::console
