#include "zmodem/ZmodemFileOpen.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#include <string>

namespace
{
bool toWide (const char* utf8, std::wstring& wide)
{
    const int length = MultiByteToWideChar (CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (length <= 0)
        return false;
    wide.assign ((size_t) length, L'\0');
    MultiByteToWideChar (CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &wide[0], length);
    wide.resize ((size_t) length - 1);
    return true;
}
} // namespace

FILE* openEngineFile (const char* utf8Path, const char* mode)
{
    std::wstring path, wideMode;
    if (! toWide (utf8Path, path) || ! toWide (mode, wideMode))
    {
        errno = EILSEQ;
        return nullptr;
    }
    return _wfopen (path.c_str(), wideMode.c_str());
}
#else
FILE* openEngineFile (const char* utf8Path, const char* mode)
{
    return std::fopen (utf8Path, mode);
}
#endif
