#pragma once
// Conversions between the automation layer's Variant and COM's VARIANT, and
// the error a failed COM call becomes.

#include <oaidl.h>

#include "automation/variant.h"

namespace zandrel::win {

// A portable object that also has a COM face (the add-in's own objects) says
// which IDispatch stands for it when it is handed to COM.
class ComExposable {
 public:
  // A new reference to the object's IDispatch.
  virtual IDispatch* NewDispatchReference() = 0;

 protected:
  ~ComExposable() = default;
};

// How this process hands its own portable objects (those that are neither
// adapted COM objects nor ComExposable) to COM: the stand-ins set it to their
// exporter. Returns a new reference, or null.
using ObjectExporter = IDispatch* (*)(const automation::Ref<automation::Object>& object);
void SetObjectExporter(ObjectExporter exporter);

// The reverse: an IDispatch that is one of this process's exported objects
// comes back as the portable object itself (null when it is not one).
using ObjectImporter = automation::Ref<automation::Object> (*)(IDispatch* dispatch);
void SetObjectImporter(ObjectImporter importer);

// Fills *out (which must be VariantInit'ed) with a copy of v. Objects must be
// COM objects (adapted IDispatch references); arrays become SAFEARRAYs of
// VARIANT with their lower bound.
HRESULT ToComVariant(const automation::Variant& v, VARIANT* out);

// Reads a VARIANT (by-reference variants are followed) into a Variant.
automation::Result<automation::Variant> FromComVariant(const VARIANT& v);

// A SAFEARRAY (one dimension, any element type) as an array of variants;
// null gives an empty array with lower bound 0.
automation::Result<automation::VariantArray> ArrayFromSafeArray(SAFEARRAY* array);

// A new IDispatch reference for an object (null for none).
HRESULT NewDispatch(const automation::Ref<automation::Object>& object, IDispatch** out);

// The error of a failed COM call: its HRESULT as a signed number, with the
// callee's error info when it left one, else the system's message text.
automation::Error ErrorFromHresult(HRESULT hr, const EXCEPINFO* info = nullptr);

// The error of a failed vtable call: the callee's error info when it says it
// supports it for that interface, else as ErrorFromHresult.
automation::Error ErrorFromCall(HRESULT hr, IUnknown* callee, const IID& iid);

// A failure code for an automation error: an HRESULT number stays as it is;
// the layer's small numbers map to their DISP_E codes.
HRESULT HresultFromError(const automation::Error& error);

}  // namespace zandrel::win
