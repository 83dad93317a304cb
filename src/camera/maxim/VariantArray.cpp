#include "camera/maxim/VariantArray.h"

#include <oleauto.h>

#include <utility>

#include "camera/Automation.h"
#include "camera/maxim/ComErrorText.h"
#include "camera/maxim/Variant.h"

namespace nebulor::camera::maxim {

namespace {

bool isNumber(VARTYPE type) { return type == VT_I2 || type == VT_I4 || type == VT_R4 || type == VT_R8; }

std::string typeText(VARTYPE type) { return "VARIANT type " + std::to_string(type); }

}  // namespace

VariantArray::VariantArray(const VARIANT& value, std::string what) : what_(std::move(what)) {
  const VARTYPE type = value.vt;
  if ((type & (VT_ARRAY | VT_BYREF)) == VT_ARRAY) array_ = value.parray;
  elementType_ = type & VT_TYPEMASK;
  if (array_ == nullptr || !(elementType_ == VT_VARIANT || isNumber(elementType_))) {
    throw AutomationError(what_ + " did not return an array of numbers (" + typeText(type) + ")");
  }
  if (SafeArrayGetDim(array_) != 1) {
    throw AutomationError(what_ + " returned an array of " + std::to_string(SafeArrayGetDim(array_)) +
                          " dimensions, not one");
  }
  SafeArrayGetLBound(array_, 1, &lower_);
  SafeArrayGetUBound(array_, 1, &upper_);
}

double VariantArray::number(long index) const {
  if (index < lower_ || index > upper_) {
    throw AutomationError(what_ + " returned no element " + std::to_string(index) +
                          " (its elements run from " + std::to_string(lower_) + " to " +
                          std::to_string(upper_) + ")");
  }
  Variant element;
  VARIANT* target = element.receive();
  HRESULT hr = S_OK;
  if (elementType_ == VT_VARIANT) {
    hr = SafeArrayGetElement(array_, &index, target);
  } else {
    target->vt = elementType_;  // a plain number lands in the VARIANT's value field
    hr = SafeArrayGetElement(array_, &index, &target->llVal);
  }
  if (FAILED(hr)) {
    throw AutomationError(what_ + ": element " + std::to_string(index) + " cannot be read, " +
                          hresultText(hr));
  }
  const HRESULT converted = element.changeType(VT_R8);
  if (FAILED(converted)) {
    throw AutomationError(what_ + ": element " + std::to_string(index) + " is not a number (" +
                          typeText(element.type()) + "), " + hresultText(converted));
  }
  return element.raw().dblVal;
}

}  // namespace nebulor::camera::maxim
