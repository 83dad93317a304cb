#pragma once

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <oaidl.h>
// clang-format on

#include <cstdint>
#include <string_view>

// One VARIANT that owns what it holds (a BSTR, an interface, an array) and
// frees it exactly once. Values by reference point at the caller's storage,
// which must outlive the call they are passed to.
namespace nebulor::camera::maxim {

class Variant {
 public:
  Variant() { VariantInit(&value_); }  // VT_EMPTY
  ~Variant() { VariantClear(&value_); }
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant&& other) noexcept;
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  static Variant boolean(bool value);  // VT_BOOL: True is -1
  static Variant int16(std::int16_t value);
  static Variant text(std::string_view utf8);  // VT_BSTR
  static Variant int16Ref(std::int16_t* value);
  static Variant singleRef(float* value);

  VARTYPE type() const { return value_.vt; }
  const VARIANT& raw() const { return value_; }
  // For an [out] parameter: clears what is held, then lets COM fill it.
  VARIANT* receive();

  // Converts in place (values by reference are read through), as
  // VariantChangeType does; the HRESULT tells whether it worked.
  HRESULT changeType(VARTYPE type);
  // Replaces a value by reference with a copy of what it points at.
  HRESULT dereference();

 private:
  VARIANT value_;
};

}  // namespace nebulor::camera::maxim
