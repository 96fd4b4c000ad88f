#pragma once
// Taking over a COM reference into a ComPtr. mingw-w64's ComPtr::Attach adds
// a reference of its own (unlike the Windows SDK's), so an owned pointer is
// stored through GetAddressOf instead.

#include <wrl/client.h>

namespace zandrel::win {

template <class T>
Microsoft::WRL::ComPtr<T> Adopt(T* owned) {
  Microsoft::WRL::ComPtr<T> ptr;
  *ptr.GetAddressOf() = owned;
  return ptr;
}

}  // namespace zandrel::win
