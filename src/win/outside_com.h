#pragma once
// The integration manager and the document-project class as the add-in finds
// them on Windows: through the COM runtime (the running instance from the
// Running Object Table, or a new one), and proxies that call their interfaces
// through the vtables.

#include "addin/connect.h"
#include "qms.h"

namespace zandrel::win {

addin::OutsideComponents& ComOutsideComponents();

// The registration manager's proxy over a COM reference to it (none for null).
automation::Ref<registration::QmsRegistrationManager> RegistrationManagerProxy(IQmsRegistrationManager* manager);

}  // namespace zandrel::win
