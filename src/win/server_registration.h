#pragma once
// Self-registration of zandrel.Connect: the class, its ProgIDs, the type
// library and the _Connect interface (marshalled by the automation marshaler),
// under HKLM or HKCU "Software\Classes". Unregistration removes exactly these
// keys and nothing else.

#include <windows.h>

namespace zandrel::win {

enum class RegistrationScope { Machine, User };

HRESULT RegisterServer(RegistrationScope scope);
HRESULT UnregisterServer(RegistrationScope scope);

}  // namespace zandrel::win
