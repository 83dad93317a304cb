#pragma once

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <oaidl.h>
// clang-format on

#include <memory>

#include "camera/Automation.h"

// Nebulor's simulator behind IDispatch, as the imaging application's own
// objects present themselves: camera and application members by name, the
// image document's by DISPID, 16-bit flags with True = -1, the centroid as
// an array of VARIANTs from index 1, and every failure of the simulator as
// DISP_E_EXCEPTION with its text. Each object counts itself in `liveObjects`
// while it lives and deletes itself when its last reference goes.
namespace nebulor::testing {

// Each returns a new object holding one reference for the caller.
IDispatch* newApplicationDispatch(std::shared_ptr<camera::Application> application, int& liveObjects);
IDispatch* newCameraDispatch(std::shared_ptr<camera::Camera> camera, int& liveObjects);

}  // namespace nebulor::testing
