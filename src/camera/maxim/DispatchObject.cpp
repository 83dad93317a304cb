#include "camera/maxim/DispatchObject.h"

#include <oleauto.h>

#include <utility>
#include <vector>

#include "camera/Automation.h"
#include "camera/maxim/ComErrorText.h"
#include "camera/maxim/WideText.h"

namespace nebulor::camera::maxim {

namespace {

// EXCEPINFO whose strings are freed whatever the call did with them.
struct ExceptionInfo {
  EXCEPINFO info{};
  ~ExceptionInfo() {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
  void fillIn() {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
  }
};

}  // namespace

DispatchObject::DispatchObject(IDispatch* dispatch, std::string name, std::shared_ptr<ComApartment> apartment)
    : dispatch_(dispatch), name_(std::move(name)), apartment_(std::move(apartment)) {
  if (dispatch_ == nullptr) throw AutomationError(name_ + " is not available (no object)");
  dispatch_->AddRef();
}

DispatchObject::~DispatchObject() {
  if (dispatch_ != nullptr) dispatch_->Release();
}

DispatchObject::DispatchObject(DispatchObject&& other) noexcept
    : dispatch_(std::exchange(other.dispatch_, nullptr)),
      name_(std::move(other.name_)),
      apartment_(std::move(other.apartment_)),
      dispids_(std::move(other.dispids_)) {}

DispatchObject::Member DispatchObject::member(const std::string& name) {
  const std::string fullName = name_ + "." + name;
  if (const auto found = dispids_.find(name); found != dispids_.end()) return {found->second, fullName};
  std::wstring wide = widen(name);
  LPOLESTR names[] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw AutomationError(fullName + " is not known to the application, " + hresultText(hr));
  dispids_.emplace(name, id);
  return {id, fullName};
}

DispatchObject::Member DispatchObject::member(DISPID id) const {
  return {id, name_ + " DISPID " + std::to_string(id)};
}

Variant DispatchObject::get(const Member& member) {
  return invoke(member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, false);
}

Variant DispatchObject::getAs(const Member& member, VARTYPE type, const char* typeName) {
  Variant value = get(member);
  const VARTYPE returned = value.type();
  const HRESULT hr = value.changeType(type);
  if (FAILED(hr)) {
    throw AutomationError(member.name + " returned a value (VARIANT type " + std::to_string(returned) +
                          ") that is not " + typeName + ", " + hresultText(hr));
  }
  return value;
}

bool DispatchObject::getBool(const Member& member) {
  return getAs(member, VT_BOOL, "a boolean").raw().boolVal != VARIANT_FALSE;
}

std::int16_t DispatchObject::getInt16(const Member& member) {
  return getAs(member, VT_I2, "a 16-bit integer").raw().iVal;
}

std::int32_t DispatchObject::getInt32(const Member& member) {
  return getAs(member, VT_I4, "a 32-bit integer").raw().lVal;
}

void DispatchObject::put(const Member& member, Variant value) {
  invoke(member, DISPATCH_PROPERTYPUT, std::span<Variant>(&value, 1), true);
}

void DispatchObject::callMethod(const Member& member, std::span<Variant> arguments) {
  invoke(member, DISPATCH_METHOD, arguments, false);
}

Variant DispatchObject::callFunction(const Member& member, std::span<Variant> arguments) {
  return invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, arguments, false);
}

Variant DispatchObject::invoke(const Member& member, WORD flags, std::span<Variant> arguments,
                               bool propertyPut) {
  // Invoke takes the arguments last to first. The copies are shallow: the
  // Variants keep ownership of what they hold.
  std::vector<VARIANT> reversed;
  reversed.reserve(arguments.size());
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) reversed.push_back(it->raw());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS parameters{};
  parameters.rgvarg = reversed.empty() ? nullptr : reversed.data();
  parameters.cArgs = static_cast<UINT>(reversed.size());
  if (propertyPut) {
    parameters.rgdispidNamedArgs = &putId;
    parameters.cNamedArgs = 1;
  }
  Variant result;
  ExceptionInfo exception;
  UINT argError = 0;
  const HRESULT hr = dispatch_->Invoke(member.id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                       result.receive(), &exception.info, &argError);
  if (FAILED(hr)) {
    if (hr == DISP_E_EXCEPTION) exception.fillIn();
    throw AutomationError(invokeErrorText(member.name, hr, exception.info, argError, parameters.cArgs));
  }
  // A result by reference would point into the server's storage: keep a copy.
  const HRESULT copied = result.dereference();
  if (FAILED(copied))
    throw AutomationError(member.name + " returned a value that cannot be read, " + hresultText(copied));
  return result;
}

}  // namespace nebulor::camera::maxim
