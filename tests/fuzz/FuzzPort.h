#pragma once

// The serial line as the fuzz targets see it: every read is served from one input buffer,
// every write is swallowed (or kept, when a target wants to read back what the engine sent).
// Reads come in chunks of varying size, so frames straddle the engine's read-ahead the way
// they straddle the reads of a real port.

#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Serves `size` bytes from `data` to readSerialPort; the data must outlive the run.
void fuzzPortServe (const uint8_t* data, size_t size);
// While `sink` is set, writes are appended to it instead of being dropped.
void fuzzPortKeepWrites (std::string* sink);

// The port as the instrument's shell fills it: `stale` is waiting from the start; `answer`
// arrives once a line is written, its first `firstPart` bytes at once and the rest after the
// read that takes the last of them. Each read then returns all it may of what has arrived, as
// a real port does once the bytes are in.
void fuzzPortServeShell (const std::string& stale, const std::string& answer, size_t firstPart);

// Opens the engine on the fake port once per process, with standard output (the engine's
// log) sent to /dev/null.
void fuzzEngineOpen();
// Puts the engine into the same state before every input: no error pending, nothing read
// ahead, try-once reads (all input is there from the start, so an empty read means the
// line stays quiet and must not cost two seconds of sleeping), then serves the input.
void fuzzEngineStart (const uint8_t* data, size_t size);
