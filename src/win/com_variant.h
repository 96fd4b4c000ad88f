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

// The conversions' context where a program serves portable objects of its own
// to COM (the stand-in IDE's model): how such an object (neither an adapted
// COM object nor ComExposable) is handed to COM, a new reference or null; and
// the reverse, an IDispatch that is one of the program's exported objects
// coming back as the portable object itself (null when it is not one). The
// add-in has none.
struct ObjectBridge {
  IDispatch* (*exporter)(const automation::Ref<automation::Object>& object) = nullptr;
  automation::Ref<automation::Object> (*importer)(IDispatch* dispatch) = nullptr;
};

// Fills *out (which must be VariantInit'ed) with a copy of v. Objects must be
// COM objects (adapted IDispatch references), ComExposable, or exported by the
// bridge; arrays become SAFEARRAYs of VARIANT with their lower bound.
HRESULT ToComVariant(const automation::Variant& v, VARIANT* out, const ObjectBridge* bridge = nullptr);

// Reads a VARIANT (by-reference variants are followed) into a Variant; objects
// are imported by the bridge, or adapted (and carry the bridge on).
automation::Result<automation::Variant> FromComVariant(const VARIANT& v, const ObjectBridge* bridge = nullptr);

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
