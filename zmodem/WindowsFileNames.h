#pragma once

// The names Windows cannot store as a file, told apart from the names it can. Both builds
// compile the rule so that it is tested everywhere; the receiver applies it on Windows only,
// where such a name would open a device, write into a hidden stream or be stored as another
// name, and the data would be lost while the transfer looks good.

// Why Windows cannot store `name` (one component, UTF-8) as a file, or nullptr when it can.
const char* whyWindowsCannotStore (const char* name);
