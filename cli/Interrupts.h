#pragma once

// Ctrl-C while a task runs is the window's Cancel button: the handler only counts, and the
// main thread acts on the count between its waits.

void catchInterrupts();
int interruptCount();

// What the shell reports for a program ended by Ctrl-C.
constexpr int interruptedExitStatus = 130;
