#include "cli/Interrupts.h"

#include "cli/Terminal.h"

#include <csignal>

namespace
{
volatile std::sig_atomic_t interrupts = 0;

extern "C" void countInterrupt (int)
{
    interrupts = interrupts + 1;
}
} // namespace

void catchInterrupts()
{
    onInterrupt (countInterrupt);
}

int interruptCount()
{
    return (int) interrupts;
}
