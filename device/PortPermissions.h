#pragma once

// A serial device that is there but that this user may not open. On Debian the instrument's
// /dev/ttyACM* belongs to the group dialout, which a new user is not in: "No Vorlen" alone
// would send that user to check a cable that is fine.

#include <string>

// The first device of the current listing that was refused for its permissions; empty if none.
extern std::string portRefusedForPermissions;

// Called when opening `path` failed with EACCES or EPERM: logs the device, its owner, group
// and mode and the fix, and remembers the first such device.
void notePermissionRefusal (const std::string& path);

// The fix for `path` in one sentence, for the user.
std::string permissionAdvice (const std::string& path);
