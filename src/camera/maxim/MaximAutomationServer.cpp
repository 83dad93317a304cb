#include "camera/maxim/MaximAutomationServer.h"

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <objbase.h>
// clang-format on

#include <utility>

#include "camera/maxim/ComApartment.h"
#include "camera/maxim/ComErrorText.h"
#include "camera/maxim/DispatchObject.h"
#include "camera/maxim/MaximApplication.h"
#include "camera/maxim/MaximCamera.h"
#include "camera/maxim/WideText.h"

namespace nebulor::camera::maxim {

namespace {

DispatchObject createObject(const std::string& progId, std::shared_ptr<ComApartment> apartment) {
  CLSID classId{};
  const std::wstring wideProgId = widen(progId);
  HRESULT hr = CLSIDFromProgID(wideProgId.c_str(), &classId);
  if (FAILED(hr)) {
    throw AutomationError("The imaging application is not installed: \"" + progId + "\" is not registered, " +
                          hresultText(hr));
  }
  IDispatch* object = nullptr;
  hr = CoCreateInstance(classId, nullptr, CLSCTX_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object));
  if (FAILED(hr) || object == nullptr) {
    throw AutomationError("The imaging application did not start: \"" + progId + "\" cannot be created, " +
                          hresultText(hr));
  }
  DispatchObject dispatch(object, progId, std::move(apartment));
  object->Release();  // the DispatchObject holds its own reference
  return dispatch;
}

}  // namespace

MaximAutomationServer::MaximAutomationServer(MaximProgIds progIds)
    : progIds_(std::move(progIds)), apartment_(std::make_shared<ComApartment>()) {}

MaximAutomationServer::~MaximAutomationServer() = default;

std::unique_ptr<Application> MaximAutomationServer::createApplication() {
  return std::make_unique<MaximApplication>(createObject(progIds_.application, apartment_));
}

std::unique_ptr<Camera> MaximAutomationServer::createCamera() {
  return std::make_unique<MaximCamera>(createObject(progIds_.camera, apartment_));
}

}  // namespace nebulor::camera::maxim
