#pragma once
// The COM class of zandrel.Connect: the face of the portable add-in, which it
// holds (addin_) and which it is to others ("Me"). _Connect (dual, its
// IDispatch driven by the type library) is the default interface;
// IDTExtensibility2 lives in a nested object of its own, because both are
// IDispatch-based and each needs its own IDispatch. There is one reference
// count, this class's. Every method is a thin shell: convert the arguments,
// call the logic, convert the result, all inside one catch-all.

#include <windows.h>

#include <memory>

#include "addin/connect.h"
#include "extensibility.h"
#include "win/com_object.h"
#include "win/com_support.h"
#include "win/com_variant.h"
#include "zandrel.h"

namespace zandrel::win {

class ConnectCom final : public ComObject<ConnectCom, _Connect, ISupportErrorInfo>,
                         public automation::Object,
                         public ComExposable {
 public:
  // A new object with its creation steps run, asked for `riid`.
  static HRESULT CreateInstance(REFIID riid, void** ppv);

  // The portable add-in this object is the face of.
  addin::Connect& Logic() { return *addin_; }

  // ComObject's hooks: _Connect also as IDispatch, the nested
  // IDTExtensibility2; the destruction steps; the server's object count.
  void* Find(REFIID riid);
  void FinalRelease();
  static void Counted(long delta) { CountModuleReference(delta); }
  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) override;
  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;
  // _Connect
  STDMETHODIMP get_Description(BSTR* Description) override;
  STDMETHODIMP Ping() override;
  STDMETHODIMP get_DTE(IDispatch** DTE) override;
  STDMETHODIMP get_Name(BSTR* Name) override;
  STDMETHODIMP get_MSDEVPid(LONG* MSDEVPid) override;
  STDMETHODIMP get_MSDEVMainWnd(LONG* MSDEVMainWnd) override;
  STDMETHODIMP RegisterProjects(VARIANT_BOOL* RegisterProjects) override;
  STDMETHODIMP Timer() override;
  STDMETHODIMP get_EventQueueCount(LONG* EventQueueCount) override;
  STDMETHODIMP get_RTEServer(VARIANT_BOOL* RTEServer) override;
  STDMETHODIMP put_RTEServer(VARIANT_BOOL bNewValue) override;
  STDMETHODIMP DoInitialize(VARIANT* lvarEvent) override;
  STDMETHODIMP get_NewWorkspace(VARIANT_BOOL* NewWorkspace) override;
  STDMETHODIMP get_CurrentBuildErrors(LONG* CurrentBuildErrors) override;
  STDMETHODIMP get_CurrentBuildWarnings(LONG* CurrentBuildWarnings) override;
  STDMETHODIMP ExecuteExtendedCommand(BSTR* pstrCommand, SAFEARRAY** pvarArgList) override;
  STDMETHODIMP put_ActiveProject(BSTR* pstrFullname) override;
  STDMETHODIMP get_ActiveProject(BSTR* ActiveProject) override;

  // The automation layer ("Me"): one count with COM's; the identity is the
  // address callers see; calls by name go through the object's own IDispatch.
  std::uint32_t Retain() override { return ComObject::AddRef(); }
  std::uint32_t Drop() override { return ComObject::Release(); }
  std::intptr_t Identity() const override { return reinterpret_cast<std::intptr_t>(static_cast<const _Connect*>(this)); }
  IDispatch* NewDispatchReference() override;
  automation::Result<automation::Variant> Invoke(std::string_view name, automation::CallKind kind,
                                                 std::span<automation::Variant> args) override;

 private:
  friend class ComObject<ConnectCom, _Connect, ISupportErrorInfo>;
  ConnectCom();
  ~ConnectCom() override;

  class Extensibility final : public IDTExtensibility2 {
   public:
    explicit Extensibility(ConnectCom& outer) : outer_(outer) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return outer_.QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_.Release(); }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* excep, UINT* argErr) override;
    STDMETHODIMP OnConnection(IDispatch* Application, LONG ConnectMode, IDispatch* AddInInst,
                              SAFEARRAY** custom) override;
    STDMETHODIMP OnDisconnection(LONG RemoveMode, SAFEARRAY** custom) override;
    STDMETHODIMP OnAddInsUpdate(SAFEARRAY** custom) override;
    STDMETHODIMP OnStartupComplete(SAFEARRAY** custom) override;
    STDMETHODIMP OnBeginShutdown(SAFEARRAY** custom) override;

   private:
    ConnectCom& outer_;
  };

  Extensibility extensibility_{*this};
  std::unique_ptr<addin::Connect> addin_;
};

}  // namespace zandrel::win
