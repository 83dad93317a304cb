#include "camera/maxim/ComApartment.h"

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <objbase.h>
// clang-format on

#include "camera/Automation.h"
#include "camera/maxim/ComErrorText.h"

namespace nebulor::camera::maxim {

ComApartment::ComApartment() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (hr == RPC_E_CHANGED_MODE) return;  // a multithreaded apartment serves as well
  if (FAILED(hr)) throw AutomationError("COM cannot be started on this thread, " + hresultText(hr));
  joined_ = true;  // S_OK and S_FALSE both count and must be balanced
}

ComApartment::~ComApartment() {
  if (joined_) CoUninitialize();
}

}  // namespace nebulor::camera::maxim
