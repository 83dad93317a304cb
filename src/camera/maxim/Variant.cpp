#include "camera/maxim/Variant.h"

#include <oleauto.h>

#include <new>
#include <string>

#include "camera/maxim/WideText.h"

namespace nebulor::camera::maxim {

Variant::Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    VariantClear(&value_);
    value_ = other.value_;
    VariantInit(&other.value_);
  }
  return *this;
}

Variant Variant::boolean(bool value) {
  Variant v;
  v.value_.vt = VT_BOOL;
  v.value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::int16(std::int16_t value) {
  Variant v;
  v.value_.vt = VT_I2;
  v.value_.iVal = value;
  return v;
}

Variant Variant::text(std::string_view utf8) {
  const std::wstring wide = widen(utf8);
  Variant v;
  v.value_.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (v.value_.bstrVal == nullptr) throw std::bad_alloc();
  v.value_.vt = VT_BSTR;
  return v;
}

Variant Variant::int16Ref(std::int16_t* value) {
  Variant v;
  v.value_.vt = VT_I2 | VT_BYREF;
  v.value_.piVal = value;
  return v;
}

Variant Variant::singleRef(float* value) {
  Variant v;
  v.value_.vt = VT_R4 | VT_BYREF;
  v.value_.pfltVal = value;
  return v;
}

VARIANT* Variant::receive() {
  VariantClear(&value_);
  return &value_;
}

HRESULT Variant::changeType(VARTYPE type) { return VariantChangeType(&value_, &value_, 0, type); }

HRESULT Variant::dereference() {
  if ((value_.vt & VT_BYREF) == 0) return S_OK;
  VARIANT copy;
  VariantInit(&copy);
  const HRESULT hr = VariantCopyInd(&copy, &value_);
  if (FAILED(hr)) return hr;
  VariantClear(&value_);
  value_ = copy;
  return S_OK;
}

}  // namespace nebulor::camera::maxim
