#pragma once

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <oaidl.h>
// clang-format on

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "camera/maxim/ComApartment.h"
#include "camera/maxim/Variant.h"

// An automation object reached through IDispatch: holds one reference,
// finds members by name or takes their DISPIDs as given, and turns every
// failed call into AutomationError with the member's name and the HRESULT.
//
// Reads go out as DISPATCH_PROPERTYGET | DISPATCH_METHOD, as late-bound
// automation clients call them, so a value read works whether the server
// made it a property or a function; calls without a result go out as
// DISPATCH_METHOD and property sets as DISPATCH_PROPERTYPUT with the named
// argument DISPID_PROPERTYPUT.
namespace nebulor::camera::maxim {

class DispatchObject {
 public:
  struct Member {
    DISPID id;
    std::string name;  // for messages: "MaxIm.CCDCamera.Expose"
  };

  // Takes a reference of its own on `dispatch`.
  DispatchObject(IDispatch* dispatch, std::string name, std::shared_ptr<ComApartment> apartment);
  ~DispatchObject();
  DispatchObject(DispatchObject&& other) noexcept;
  DispatchObject& operator=(DispatchObject&&) = delete;
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  Member member(const std::string& name);  // asks GetIDsOfNames once per name
  Member member(DISPID id) const;

  Variant get(const Member& member);
  bool getBool(const Member& member);
  std::int16_t getInt16(const Member& member);
  std::int32_t getInt32(const Member& member);
  void put(const Member& member, Variant value);
  // Arguments in their natural order; values by reference stay the caller's.
  void callMethod(const Member& member, std::span<Variant> arguments);
  Variant callFunction(const Member& member, std::span<Variant> arguments);

  // For the objects this one hands out, which must keep COM alive as well.
  const std::shared_ptr<ComApartment>& apartment() const { return apartment_; }

 private:
  Variant invoke(const Member& member, WORD flags, std::span<Variant> arguments, bool propertyPut);
  Variant getAs(const Member& member, VARTYPE type, const char* typeName);

  IDispatch* dispatch_;
  std::string name_;
  std::shared_ptr<ComApartment> apartment_;
  std::map<std::string, DISPID> dispids_;
};

}  // namespace nebulor::camera::maxim
