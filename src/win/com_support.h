#pragma once
// What every COM entry point of the server shares: the catch-all that keeps
// C++ exceptions out of callers, failures returned with error info, BSTRs, and
// the module's object and lock counts.

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "automation/error.h"

namespace zandrel::win {

// References held on the objects this module made (each object counts its
// own, see CountModuleReference) and server locks (DllCanUnloadNow).
extern std::atomic<long> g_objects;
extern std::atomic<long> g_locks;
// This module's handle.
extern HMODULE g_module;

// DllCanUnloadNow's answer: S_OK when no object and no lock is alive.
HRESULT CanUnloadNow() noexcept;

// Sets the thread's error info (description, source) and returns the failure
// code that carries the error.
HRESULT Fail(const automation::Error& error, const IID& iid);

// The same for a failure code and a description already in UTF-16, without a
// C++ allocation (the error object is COM's): the answer when memory is out.
HRESULT FailWith(HRESULT hr, const wchar_t* description, const IID& iid) noexcept;

// Writes a failure caught at the COM boundary to the log, at ERROR level:
// "<operation>: <what> caught at the COM boundary". Never throws.
void LogCaught(const char* operation, const char* what) noexcept;

// Runs the entry point `operation`'s body: whatever it throws is logged and
// becomes a failure HRESULT with error info, never an exception in the caller.
// Past the throw nothing allocates but the log line, which is dropped when it
// cannot be made.
template <class Body>
HRESULT Guarded(const IID& iid, const char* operation, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    LogCaught(operation, "out of memory");
    return FailWith(E_OUTOFMEMORY, L"Out of memory", iid);
  } catch (const std::exception& e) {
    LogCaught(operation, e.what());
  } catch (...) {
    LogCaught(operation, "an exception of unknown type");
  }
  return FailWith(E_UNEXPECTED, L"Unexpected failure in zandrel", iid);
}

// Guarded for a caller that is told only a code (an event source, a
// Release): what the body throws is logged, and no error info is left on the
// thread for a later call to find.
template <class Body>
HRESULT GuardedWithoutErrorInfo(const char* operation, Body&& body) noexcept {
  const HRESULT hr = Guarded(IID_NULL, operation, std::forward<Body>(body));
  if (FAILED(hr)) SetErrorInfo(0, nullptr);
  return hr;
}

// The count hook (ComObject's Counted) of every object the server makes that
// others may hold: each reference keeps the module loaded.
inline void CountModuleReference(long delta) noexcept { g_objects += delta; }

// A new BSTR of UTF-8 text (null only when out of memory).
BSTR NewBstr(const std::string& utf8);
std::string FromBstr(BSTR b);

// The module's path, for registration and for loading its own type libraries.
std::wstring ModulePath();

// ITypeInfo of an interface described in the module's embedded type library
// (index 1: zandrel, index 2: IDTExtensibility2), loaded once; no C++
// allocation.
HRESULT EmbeddedTypeInfo(int typelibIndex, const IID& iid, ITypeInfo** info) noexcept;

}  // namespace zandrel::win
