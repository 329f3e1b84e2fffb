// Start at login, outside cfg.ini. Windows: the per-user Run key value "startOnBoot"
// (the program's path, or empty when off; never deleted). Linux: the XDG autostart
// entry vantor.desktop (Hidden=true when off; never deleted).
#pragma once

namespace vantor {

// True when the system will start the program at login.
bool readStartOnBoot();

// Returns false (and logs) when the setting could not be written.
bool writeStartOnBoot(bool enabled);

}  // namespace vantor
