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

#include "automation/error.h"

namespace zandrel::win {

// Objects and server locks alive in this module (DllCanUnloadNow).
extern std::atomic<long> g_objects;
extern std::atomic<long> g_locks;
// This module's handle.
extern HMODULE g_module;

// Sets the thread's error info (description, source) and returns the failure
// code that carries the error.
HRESULT Fail(const automation::Error& error, const IID& iid);

// Writes a failure caught at the COM boundary to the log, at ERROR level:
// "<operation>: <what> caught at the COM boundary". Never throws.
void LogCaught(const char* operation, const char* what) noexcept;

// Runs the entry point `operation`'s body: whatever it throws is logged and
// becomes a failure HRESULT with error info, never an exception in the caller.
template <class Body>
HRESULT Guarded(const IID& iid, const char* operation, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    LogCaught(operation, "out of memory");
    return Fail(automation::Error{static_cast<std::int32_t>(E_OUTOFMEMORY), "Out of memory"}, iid);
  } catch (const std::exception& e) {
    LogCaught(operation, e.what());
  } catch (...) {
    LogCaught(operation, "an exception of unknown type");
  }
  return Fail(automation::Error{static_cast<std::int32_t>(E_UNEXPECTED), "Unexpected failure in zandrel"}, iid);
}

// A new BSTR of UTF-8 text (null only when out of memory).
BSTR NewBstr(const std::string& utf8);
std::string FromBstr(BSTR b);

// The module's path, for registration and for loading its own type libraries.
std::wstring ModulePath();

// ITypeInfo of an interface described in the module's embedded type library
// (index 1: zandrel, index 2: IDTExtensibility2), loaded once.
HRESULT EmbeddedTypeInfo(int typelibIndex, const IID& iid, ITypeInfo** info);

}  // namespace zandrel::win
