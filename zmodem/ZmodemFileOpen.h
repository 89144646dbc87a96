#pragma once

// The one place where the transfer engine opens a file. Paths are UTF-8 everywhere in the
// application; Windows' narrow fopen reads them in the ANSI code page instead, so a user
// whose profile or chosen folder has a non-ASCII name could not send or receive anything.
// Free of JUCE, so the Windows build of it compiles with a bare cross compiler.

#include <cstdio>

// fopen with a UTF-8 path and mode; on failure nullptr with errno set (EILSEQ for a path
// that is not UTF-8 on Windows).
FILE* openEngineFile (const char* utf8Path, const char* mode);
