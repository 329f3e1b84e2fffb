// Where the product keeps cfg.ini. The per-user application configuration directory
// depends on the application identity (organisation and name), so it is chosen here,
// once, for every program that reads or writes the file.
#pragma once

#include <QString>

namespace vantor {

// Organisation empty, application name "vantor": on Linux the directory is
// $XDG_CONFIG_HOME/vantor (default ~/.config/vantor).
void useApplicationIdentity();

// The writable application configuration location under that identity.
QString configDirectory();

// configDirectory() + "/cfg.ini".
QString configFilePath();

}  // namespace vantor
