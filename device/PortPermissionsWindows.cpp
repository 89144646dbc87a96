#include "device/PortPermissions.h"

// Windows gives every user its COM ports: a port that cannot be opened is held by another
// program (heldSerialPorts), never refused for its permissions.
std::string portRefusedForPermissions;

void notePermissionRefusal (const std::string&)
{
}

std::string permissionAdvice (const std::string&)
{
    return {};
}
