#pragma once
// A portable object of the stand-in IDE handed to COM: an IDispatch that
// answers by name (a member of the IDE's type library with its own dispatch
// id from the testbed's table of the IDE's identifiers, any other member with
// an id given out by GetIDsOfNames; a name the object does not have is
// DISP_E_UNKNOWNNAME), the interfaces the object says it has (As), and
// connection points for the event sources among them (only their own source
// dispinterface), firing each event with its by-reference parameters as the
// IDE passes them.

#include <oaidl.h>

#include "automation/object.h"
#include "win/com_variant.h"

namespace zandrel::testbed::com {

// A new IDispatch reference for the object (the bridge's exporter).
IDispatch* ExportObject(const automation::Ref<automation::Object>& object);

// The conversions' context of a program that serves its model this way:
// ExportObject and ImportObject.
const win::ObjectBridge& ModelBridge();

// The portable object behind one of this process's exported objects, or null
// (the bridge's importer).
automation::Ref<automation::Object> ImportObject(IDispatch* dispatch);

// COM wrappers alive in this process: 0 once every reference handed out has
// come back.
long ExportedObjectsAlive();

}  // namespace zandrel::testbed::com
