#pragma once

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <oaidl.h>
// clang-format on

#include <memory>

#include "camera/Automation.h"
#include "camera/maxim/DispatchObject.h"

namespace nebulor::camera::maxim {

// The image document's dispatch interface. Its members are called by DISPID.
inline constexpr GUID kDocumentInterfaceId{
    0xB4955EC8, 0xF7F2, 0x11D2, {0xAA, 0x9C, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The image document the camera returned.
class MaximDocument final : public ImageDocument {
 public:
  // Holds the document through its own dispatch interface; an object that
  // does not offer it is used through the IDispatch it was returned as.
  MaximDocument(IDispatch* document, std::shared_ptr<ComApartment> apartment);

  void prepare() override;
  std::optional<FitsValue> fitsKey(const std::string& keyword) override;
  std::int16_t clickNew() override;
  bool mouseDown() override;
  std::int16_t clickX() override;
  std::int16_t clickY() override;
  stars::Centroid centroidNear(std::int16_t x, std::int16_t y, PassBy passBy) override;

 private:
  DispatchObject document_;
};

}  // namespace nebulor::camera::maxim
