#pragma once
// IDTExtensibility2 as the IDE sees it: the add-in designer's dual interface,
// its five methods in vtable order after IDispatch's seven slots, declared
// here from the testbed's table of the IDE's identifiers, independently of the
// add-in's own description of the interface.

#include <oaidl.h>

#include <string>

#include "ide_identifiers.h"

namespace zandrel::testbed {

struct IdeExtensibility2 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* Application, LONG ConnectMode, IDispatch* AddInInst,
                                                 SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDisconnection(LONG RemoveMode, SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) = 0;
};

// The interface's IID, from the table.
inline IID ExtensibilityIid() {
  const std::wstring text(ide_ids::kIDTExtensibility2.guid.begin(), ide_ids::kIDTExtensibility2.guid.end());
  IID iid = IID_NULL;
  IIDFromString(text.c_str(), &iid);
  return iid;
}

}  // namespace zandrel::testbed
