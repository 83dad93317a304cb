#include "SimDispatch.h"

#include <oleauto.h>

#include <exception>
#include <functional>
#include <string>

#include "FakeMemberIds.h"
#include "ScriptedDispatch.h"

namespace nebulor::testing {

namespace {

using Handler = ScriptedDispatch::Handler;

constexpr long kCentroidLowerBound = 1;
constexpr long kCentroidElements = 16;
constexpr int kExposureBudget = 300;

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }  // ASCII texts
std::string plain(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) out.push_back(static_cast<char>(c));
  return out;
}

// Runs a call on the simulator; its exceptions become the application's errors.
template <typename Action>
Handler guarded(Action action) {
  return [action](const DispatchCall& call, DISPPARAMS& parameters, VARIANT* result,
                  EXCEPINFO* info) -> HRESULT {
    try {
      action(call, parameters, result);
      return S_OK;
    } catch (const std::exception& error) {
      return raiseException(info, L"Nebulor fake imaging application", wide(error.what()).c_str(),
                            static_cast<SCODE>(0x80040001));
    }
  };
}

void setBool(VARIANT* result, bool value) {
  result->vt = VT_BOOL;
  result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void setShort(VARIANT* result, std::int16_t value) {
  result->vt = VT_I2;
  result->iVal = value;
}

void setLong(VARIANT* result, int value) {
  result->vt = VT_I4;
  result->lVal = value;
}

bool flag(const DispatchCall& call) { return call.arguments.at(0).number != 0; }
std::int16_t shortArgument(const DispatchCall& call, std::size_t index) {
  return static_cast<std::int16_t>(call.arguments.at(index).number);
}

// The object deletes itself with its last reference.
ScriptedDispatch* newObject(int& liveObjects) {
  auto* object = new ScriptedDispatch;
  ++liveObjects;
  object->onFinalRelease([object, &liveObjects] {
    --liveObjects;
    delete object;
  });
  return object;
}

// A read-only property whose value `read` puts into the result.
void addReading(ScriptedDispatch& object, const wchar_t* name, DISPID id,
                std::function<void(VARIANT*)> read) {
  object.addProperty(name, id, VT_EMPTY,
                     guarded([read](const DispatchCall&, DISPPARAMS&, VARIANT* result) { read(result); }));
}

void putCentroid(VARIANT* result, const stars::Centroid& centroid) {
  SAFEARRAYBOUND bound{kCentroidElements, kCentroidLowerBound};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
  for (long index = kCentroidLowerBound; index < kCentroidLowerBound + kCentroidElements; ++index) {
    VARIANT element;
    VariantInit(&element);
    element.vt = VT_R8;
    element.dblVal = index == 6 ? centroid.x : index == 7 ? centroid.y : index == 12 ? centroid.score : 0.0;
    SafeArrayPutElement(array, &index, &element);
  }
  result->vt = VT_ARRAY | VT_VARIANT;
  result->parray = array;
}

IDispatch* newDocumentDispatch(std::shared_ptr<camera::ImageDocument> document, int& liveObjects) {
  ScriptedDispatch* object = newObject(liveObjects);
  object->addMethod(L"", kPrepare, {ScriptedDispatch::kNoArguments},
                    guarded([document](const DispatchCall&, DISPPARAMS&, VARIANT*) { document->prepare(); }));
  object->addMethod(L"", kFitsKey, {{VT_BSTR}},
                    guarded([document](const DispatchCall& call, DISPPARAMS&, VARIANT* r) {
                      const auto value = document->fitsKey(plain(call.arguments.at(0).text));
                      if (!value) return;  // absent: VT_EMPTY
                      if (const double* number = std::get_if<double>(&*value)) {
                        r->vt = VT_R8;
                        r->dblVal = *number;
                      } else {
                        r->vt = VT_BSTR;
                        r->bstrVal = SysAllocString(wide(std::get<std::string>(*value)).c_str());
                      }
                    }));
  addReading(*object, L"", kMouseDown, [document](VARIANT* r) { setBool(r, document->mouseDown()); });
  addReading(*object, L"", kClickX, [document](VARIANT* r) { setShort(r, document->clickX()); });
  addReading(*object, L"", kClickY, [document](VARIANT* r) { setShort(r, document->clickY()); });
  addReading(*object, L"", kClickNew, [document](VARIANT* r) { setShort(r, document->clickNew()); });
  object->addMethod(L"", kCentroid, {{VT_I2 | VT_BYREF, VT_I2 | VT_BYREF}, {VT_I2, VT_I2}},
                    guarded([document](const DispatchCall& call, DISPPARAMS&, VARIANT* r) {
                      const bool byReference = (call.arguments.at(0).type & VT_BYREF) != 0;
                      putCentroid(r, document->centroidNear(
                                         shortArgument(call, 0), shortArgument(call, 1),
                                         byReference ? camera::PassBy::reference : camera::PassBy::value));
                    }));
  return object;
}

// A 16-bit flag the simulator object reads with `get` and sets with `set`.
template <typename Object>
void addFlag(ScriptedDispatch& dispatch, const wchar_t* name, DISPID id, std::shared_ptr<Object> object,
             bool (Object::*get)(), void (Object::*set)(bool)) {
  dispatch.addProperty(name, id, VT_BOOL,
                       guarded([object, get, set](const DispatchCall& call, DISPPARAMS&, VARIANT* r) {
                         if (call.propertyPut) {
                           ((*object).*set)(flag(call));
                         } else {
                           setBool(r, ((*object).*get)());
                         }
                       }));
}

}  // namespace

IDispatch* newApplicationDispatch(std::shared_ptr<camera::Application> application, int& liveObjects) {
  ScriptedDispatch* object = newObject(liveObjects);
  addFlag(*object, L"TelescopeConnected", kTelescopeConnected, application,
          &camera::Application::telescopeConnected, &camera::Application::setTelescopeConnected);
  return object;
}

IDispatch* newCameraDispatch(std::shared_ptr<camera::Camera> camera, int& liveObjects) {
  ScriptedDispatch* object = newObject(liveObjects);
  addFlag(*object, L"LinkEnabled", kLinkEnabled, camera, &camera::Camera::linkEnabled,
          &camera::Camera::setLinkEnabled);
  object->addProperty(L"DisableAutoShutdown", kDisableAutoShutdown, VT_BOOL,
                      guarded([camera](const DispatchCall& call, DISPPARAMS&, VARIANT*) {
                        if (call.propertyPut) camera->setDisableAutoShutdown(flag(call));
                      }));
  addReading(*object, L"CameraXSize", kCameraXSize,
             [camera](VARIANT* r) { setLong(r, camera->cameraXSize()); });
  addReading(*object, L"CameraYSize", kCameraYSize,
             [camera](VARIANT* r) { setLong(r, camera->cameraYSize()); });
  object->addMethod(
      L"SetFullFrame", kSetFullFrame, {ScriptedDispatch::kNoArguments},
      guarded([camera](const DispatchCall&, DISPPARAMS&, VARIANT*) { camera->setFullFrame(); }));
  const struct {
    const wchar_t* name;
    DISPID id;
    void (camera::Camera::*set)(std::int16_t);
  } edges[] = {{L"StartX", kStartX, &camera::Camera::setStartX},
               {L"NumX", kNumX, &camera::Camera::setNumX},
               {L"StartY", kStartY, &camera::Camera::setStartY},
               {L"NumY", kNumY, &camera::Camera::setNumY}};
  for (const auto& edge : edges) {
    object->addProperty(edge.name, edge.id, VT_I2,
                        guarded([camera, set = edge.set](const DispatchCall& call, DISPPARAMS&, VARIANT*) {
                          if (!call.propertyPut)
                            throw camera::AutomationError("the subframe edges cannot be read");
                          ((*camera).*set)(shortArgument(call, 0));
                        }));
  }
  auto exposures = std::make_shared<int>(0);
  object->addMethod(L"Expose", kExpose, {{VT_R4 | VT_BYREF, VT_I2}},
                    guarded([camera, exposures](const DispatchCall& call, DISPPARAMS&, VARIANT*) {
                      if (shortArgument(call, 1) != 1)
                        throw camera::AutomationError("only light frames are simulated");
                      // A client that never stops (every star rejected, say) ends on this error instead.
                      if (++*exposures > kExposureBudget) {
                        throw camera::AutomationError("the fake imaging application takes only " +
                                                      std::to_string(kExposureBudget) +
                                                      " exposures a session");
                      }
                      camera->expose(static_cast<float>(call.arguments.at(0).number));
                    }));
  addReading(*object, L"ImageReady", kImageReady, [camera](VARIANT* r) { setBool(r, camera->imageReady()); });
  addReading(*object, L"Document", kDocument, [camera, &liveObjects](VARIANT* r) {
    r->vt = VT_DISPATCH;
    r->pdispVal = newDocumentDispatch(camera->document(), liveObjects);
  });
  return object;
}

}  // namespace nebulor::testing
