#pragma once

// What the Windows serial port asks of the COM driver beyond the line settings. Without it a
// read follows whatever timeouts the driver was left with, and a write to a far end that has
// stopped reading never returns.

#include <windows.h>

// Reads return at once with what has arrived; a write of `n` bytes gives up after
// serialWriteStallLimitMs plus 1 ms a byte (a byte takes under 0.1 ms at 115200 baud).
COMMTIMEOUTS serialPortTimeouts();
