#include "zmodem/WindowsFileNames.h"

#include <cctype>
#include <cstring>
#include <string>

namespace
{
// Accepting a device name loses the preset silently; refusing a storable one only costs a
// report, so the less common names Windows documents as reserved are refused too.
const char* const reservedNames[] = {
    "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
    "COM0", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
    "COM\xC2\xB9", "COM\xC2\xB2", "COM\xC2\xB3",
    "LPT0", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",
    "LPT\xC2\xB9", "LPT\xC2\xB2", "LPT\xC2\xB3",
};

bool equalsIgnoringCase (const std::string& a, const char* b)
{
    if (a.size() != std::strlen (b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper ((unsigned char) a[i]) != std::toupper ((unsigned char) b[i]))
            return false;
    return true;
}

// Windows takes the part before the first dot, without trailing spaces, for the device:
// "nul.tar.gz" and "CON .mz" are the devices as well.
bool isReservedDeviceName (const char* name)
{
    std::string base (name, std::strcspn (name, "."));
    while (! base.empty() && base.back() == ' ')
        base.pop_back();
    for (const char* reserved : reservedNames)
        if (equalsIgnoringCase (base, reserved))
            return true;
    return false;
}

bool holdsForbiddenCharacter (const char* name)
{
    for (const unsigned char* c = (const unsigned char*) name; *c != 0; ++c)
        if (*c < 0x20 || std::strchr ("<>\"/\\|?*", *c) != nullptr)
            return true;
    return false;
}

// A name that is not UTF-8 has no wide-character form to open it by.
bool isValidUtf8 (const char* name)
{
    for (const unsigned char* c = (const unsigned char*) name; *c != 0;)
    {
        const int follow = *c < 0x80 ? 0 : (*c & 0xE0) == 0xC0 ? 1 : (*c & 0xF0) == 0xE0 ? 2 : (*c & 0xF8) == 0xF0 ? 3 : -1;
        if (follow < 0 || (follow == 1 && *c < 0xC2))
            return false;
        ++c;
        for (int i = 0; i < follow; ++i, ++c)
            if ((*c & 0xC0) != 0x80)
                return false;
    }
    return true;
}
} // namespace

const char* whyWindowsCannotStore (const char* name)
{
    const size_t length = std::strlen (name);
    if (length == 0)
        return "it is empty";
    if (std::strchr (name, ':') != nullptr)
        return "Windows takes a \":\" for the start of a hidden data stream";
    if (holdsForbiddenCharacter (name))
        return "it holds a character that Windows does not allow in a file name";
    if (name[length - 1] == '.' || name[length - 1] == ' ')
        return "Windows drops a dot or space at the end of a file name";
    if (isReservedDeviceName (name))
        return "Windows reserves this name for a device";
    if (! isValidUtf8 (name))
        return "it is not valid UTF-8 text";
    return nullptr;
}
