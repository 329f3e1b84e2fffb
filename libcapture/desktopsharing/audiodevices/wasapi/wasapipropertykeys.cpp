// The device property keys are declared in the SDK headers but defined by no
// import library mingw-w64 ships: this file defines the ones we read.
#include <windows.h>
#include <wtypes.h>
// Turns the declarations below into definitions.
#include <initguid.h>
// Must follow initguid.h.
#include <functiondiscoverykeys_devpkey.h>
