#pragma once

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <oaidl.h>
// clang-format on

// DISPIDs of the fake imaging application's objects. The application's and
// the camera's members are arbitrary numbers, so that only a lookup by name
// finds them; the image document's are the ones Nebulor calls.
namespace nebulor::testing {

enum FakeMemberId : DISPID {
  kTelescopeConnected = 301,
  kLinkEnabled,
  kDisableAutoShutdown,
  kCameraXSize,
  kCameraYSize,
  kSetFullFrame,
  kStartX,
  kNumX,
  kStartY,
  kNumY,
  kExpose,
  kImageReady,
  kDocument
};

enum FakeDocumentId : DISPID {
  kPrepare = 11,
  kFitsKey = 15,
  kMouseDown = 51,
  kClickX = 52,
  kClickY = 53,
  kClickNew = 57,
  kCentroid = 70
};

}  // namespace nebulor::testing
