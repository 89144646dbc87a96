#include "cli/Interrupts.h"

#include <csignal>

namespace
{
volatile std::sig_atomic_t interrupts = 0;

extern "C" void countInterrupt (int)
{
    interrupts = interrupts + 1;
}
} // namespace

// Without SA_RESTART, so that a question waiting for its answer on the terminal gives up.
void catchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = countInterrupt;
    sigemptyset (&action.sa_mask);
    action.sa_flags = 0;
    sigaction (SIGINT, &action, nullptr);
    sigaction (SIGTERM, &action, nullptr);
}

int interruptCount()
{
    return (int) interrupts;
}
