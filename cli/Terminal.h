#pragma once

// What the console program asks of its terminal and its process, one unit per platform.

bool standardInputIsTerminal();
bool standardErrorIsTerminal();
// Columns of the terminal on standard error; 0 when unknown.
int terminalColumns();
// Without SA_RESTART where there is such a thing, so that a waiting question gives up.
void onInterrupt (void (*handler) (int));
void setEnvironmentVariable (const char* name, const char* value);

#include <cstdio>
// A stream on what standard output is now, for the program's own output: standard output
// itself is about to become the communication log. Standard error if it cannot be had.
std::FILE* duplicateStandardOutput();
