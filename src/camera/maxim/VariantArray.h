#pragma once

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <oaidl.h>
// clang-format on

#include <string>

// A read-only view of the one-dimensional array a VARIANT holds (by value:
// DispatchObject copies a result by reference), its elements taken as numbers. Elements are addressed by
// their own index: the array's lower bound may be 0 or 1, so index 6 is the
// seventh element of the one and the sixth of the other.
namespace nebulor::camera::maxim {

class VariantArray {
 public:
  // Throws AutomationError, naming `what`, unless `value` holds a
  // one-dimensional array of VARIANTs or of numbers (I2, I4, R4, R8).
  VariantArray(const VARIANT& value, std::string what);

  // Throws AutomationError when the index lies outside the bounds or the
  // element is not a number.
  double number(long index) const;

 private:
  SAFEARRAY* array_ = nullptr;  // owned by the VARIANT viewed
  VARTYPE elementType_ = VT_EMPTY;
  long lower_ = 0;
  long upper_ = -1;
  std::string what_;
};

}  // namespace nebulor::camera::maxim
