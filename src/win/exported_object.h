#pragma once
// A portable object handed to COM: an IDispatch that answers by name (ids
// are given out by GetIDsOfNames, names are looked up again by Invoke), the
// interfaces the object says it has (As), and connection points for the event
// sources among them. The testbed's stand-ins reach other processes and the
// add-in through it.

#include <oaidl.h>

#include "automation/object.h"

namespace zandrel::win {

// A new IDispatch reference for the object (the exporter of com_variant).
IDispatch* ExportObject(const automation::Ref<automation::Object>& object);

// The portable object behind one of this process's exported objects, or null
// (the importer of com_variant).
automation::Ref<automation::Object> ImportObject(IDispatch* dispatch);

// COM wrappers alive in this process: 0 once every reference handed out has
// come back.
long ExportedObjectsAlive();

}  // namespace zandrel::win
