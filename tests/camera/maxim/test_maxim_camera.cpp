// The camera and application objects over a hand-written IDispatch: names
// are looked up once, every call goes out with the VARIANT types the imaging
// application expects, values come back converted, failures carry the HRESULT.
// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <oleauto.h>
// clang-format on

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "AutomationErrorText.h"
#include "FakeMemberIds.h"
#include "ScriptedDispatch.h"
#include "camera/maxim/ComApartment.h"
#include "camera/maxim/DispatchObject.h"
#include "camera/maxim/MaximApplication.h"
#include "camera/maxim/MaximCamera.h"
#include "camera/maxim/MaximDocument.h"

namespace nebulor::camera::maxim {
namespace {

using namespace nebulor::testing;  // the fake objects and their DISPIDs

// What a read returns: fills the result VARIANT.
using Answer = std::function<void(VARIANT*)>;

Answer boolAnswer(VARIANT_BOOL value) {
  return [value](VARIANT* r) {
    r->vt = VT_BOOL;
    r->boolVal = value;
  };
}

Answer longAnswer(LONG value) {
  return [value](VARIANT* r) {
    r->vt = VT_I4;
    r->lVal = value;
  };
}

// An automation object whose properties answer what the test sets and
// whose members can be made to fail as the application reports errors.
class FakeObject : public ScriptedDispatch {
 public:
  void property(const wchar_t* name, DISPID id, VARTYPE putType, Answer initial = nullptr) {
    if (initial) answers_[id] = std::move(initial);
    addProperty(name, id, putType,
                [this, id](const DispatchCall& call, DISPPARAMS&, VARIANT* r, EXCEPINFO* info) {
                  if (failing(id)) return raise(id, info);
                  if (call.propertyPut) return S_OK;
                  const auto a = answers_.find(id);
                  if (a == answers_.end()) return static_cast<HRESULT>(DISP_E_MEMBERNOTFOUND);
                  a->second(r);
                  return S_OK;
                });
  }
  void method(const wchar_t* name, DISPID id, std::vector<Signature> signatures, Handler handler = nullptr) {
    addMethod(name, id, std::move(signatures),
              [this, id, handler](const DispatchCall& call, DISPPARAMS& p, VARIANT* r, EXCEPINFO* info) {
                if (failing(id)) return raise(id, info);
                return handler ? handler(call, p, r, info) : S_OK;
              });
  }
  void answer(DISPID id, Answer value) { answers_[id] = std::move(value); }
  void fail(DISPID id, std::wstring description, SCODE code) {
    failures_[id] = {std::move(description), code};
  }

 private:
  bool failing(DISPID id) const { return failures_.count(id) != 0; }
  HRESULT raise(DISPID id, EXCEPINFO* info) const {
    const auto& [description, code] = failures_.at(id);
    return testing::raiseException(info, L"MaxIm DL", description.c_str(), code);
  }

  std::map<DISPID, Answer> answers_;
  std::map<DISPID, std::pair<std::wstring, SCODE>> failures_;
};

class FakeCamera : public FakeObject {
 public:
  FakeCamera() {
    property(L"LinkEnabled", kLinkEnabled, VT_BOOL, boolAnswer(VARIANT_TRUE));
    property(L"DisableAutoShutdown", kDisableAutoShutdown, VT_BOOL);
    property(L"CameraXSize", kCameraXSize, VT_EMPTY, longAnswer(1536));
    property(L"CameraYSize", kCameraYSize, VT_EMPTY, longAnswer(1024));
    property(L"StartX", kStartX, VT_I2);
    property(L"NumX", kNumX, VT_I2);
    property(L"StartY", kStartY, VT_I2);
    property(L"NumY", kNumY, VT_I2);
    property(L"ImageReady", kImageReady, VT_EMPTY, boolAnswer(VARIANT_FALSE));
    property(L"Document", kDocument, VT_EMPTY);
    method(L"SetFullFrame", kSetFullFrame, {kNoArguments});
    method(L"Expose", kExpose, {{VT_R4 | VT_BYREF, VT_I2}},
           [](const DispatchCall&, DISPPARAMS& p, VARIANT*, EXCEPINFO*) {
             *p.rgvarg[1].pfltVal = 99.0F;  // the application may write through the reference
             return S_OK;
           });
  }
};

class MaximCameraTest : public ::testing::Test {
 protected:
  std::shared_ptr<ComApartment> apartment = std::make_shared<ComApartment>();
  FakeCamera fake;
  MaximCamera camera{DispatchObject(&fake, "MaxIm.CCDCamera", apartment)};

  DispatchCall onlyCall(DISPID id) const {
    const auto calls = fake.callsOf(id);
    EXPECT_EQ(calls.size(), 1U);
    return calls.empty() ? DispatchCall{} : calls.front();
  }
};

TEST_F(MaximCameraTest, FlagsGoOutAsVariantBooleansWithTrueMinusOne) {
  struct Case {
    const char* what;
    std::function<void(MaximCamera&)> set;
    DISPID id;
    double sent;
  };
  const Case cases[] = {
      {"link on", [](MaximCamera& c) { c.setLinkEnabled(true); }, kLinkEnabled, -1},
      {"link off", [](MaximCamera& c) { c.setLinkEnabled(false); }, kLinkEnabled, 0},
      {"auto shutdown off", [](MaximCamera& c) { c.setDisableAutoShutdown(true); }, kDisableAutoShutdown, -1},
  };
  std::size_t before = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.set(camera);
    ASSERT_EQ(fake.calls().size(), before + 1);
    const DispatchCall& call = fake.calls().back();
    before = fake.calls().size();
    EXPECT_EQ(call.id, c.id);
    EXPECT_EQ(call.flags, DISPATCH_PROPERTYPUT);
    EXPECT_TRUE(call.propertyPut);
    ASSERT_EQ(call.arguments.size(), 1U);
    EXPECT_EQ(call.arguments[0].type, VT_BOOL);
    EXPECT_EQ(call.arguments[0].number, c.sent);
  }
}

TEST_F(MaximCameraTest, SubframeEdgesGoOutAsInt16ByValue) {
  struct Case {
    void (MaximCamera::*set)(std::int16_t);
    DISPID id;
    std::int16_t value;
  };
  const Case cases[] = {{&MaximCamera::setStartX, kStartX, 450},
                        {&MaximCamera::setNumX, kNumX, 161},
                        {&MaximCamera::setStartY, kStartY, 0},
                        {&MaximCamera::setNumY, kNumY, 32767},
                        {&MaximCamera::setStartX, kStartX, -3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    (camera.*c.set)(c.value);
    const DispatchCall& call = fake.calls().back();
    EXPECT_EQ(call.id, c.id);
    EXPECT_TRUE(call.propertyPut);
    ASSERT_EQ(call.arguments.size(), 1U);
    EXPECT_EQ(call.arguments[0].type, VT_I2);
    EXPECT_EQ(call.arguments[0].number, c.value);
  }
}

TEST_F(MaximCameraTest, ExposeSendsSingleSecondsByReferenceThenLightFrame) {
  const float seconds = 0.01F;
  camera.expose(seconds);
  camera.setFullFrame();

  const DispatchCall expose = onlyCall(kExpose);
  EXPECT_EQ(expose.flags, DISPATCH_METHOD);
  ASSERT_EQ(expose.arguments.size(), 2U);
  EXPECT_EQ(expose.arguments[0].type, VT_R4 | VT_BYREF);
  EXPECT_EQ(expose.arguments[0].number,
            static_cast<double>(seconds));  // the single itself, not a double near it
  EXPECT_EQ(expose.arguments[1].type, VT_I2);
  EXPECT_EQ(expose.arguments[1].number, 1);

  const DispatchCall fullFrame = onlyCall(kSetFullFrame);
  EXPECT_EQ(fullFrame.flags, DISPATCH_METHOD);
  EXPECT_TRUE(fullFrame.arguments.empty());
}

TEST_F(MaximCameraTest, ReadsAcceptWhateverNumericTypeTheApplicationReturns) {
  struct Case {
    const char* what;
    Answer answer;
    bool flag;
    int size;
  };
  const Case cases[] = {
      {"VT_BOOL true, VT_I4", boolAnswer(VARIANT_TRUE), true, 1536},
      {"VT_BOOL false, VT_I2", boolAnswer(VARIANT_FALSE), false, 765},
      {"VT_I2 nonzero, VT_R8", [](VARIANT* r) { r->vt = VT_I2, r->iVal = 1; }, true, 2048},
  };
  const Answer sizes[] = {longAnswer(1536), [](VARIANT* r) { r->vt = VT_I2, r->iVal = 765; },
                          [](VARIANT* r) { r->vt = VT_R8, r->dblVal = 2048.0; }};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    fake.answer(kImageReady, cases[i].answer);
    fake.answer(kLinkEnabled, cases[i].answer);
    fake.answer(kCameraXSize, sizes[i]);
    fake.answer(kCameraYSize, sizes[i]);
    EXPECT_EQ(camera.imageReady(), cases[i].flag);
    EXPECT_EQ(camera.linkEnabled(), cases[i].flag);
    EXPECT_EQ(camera.cameraXSize(), cases[i].size);
    EXPECT_EQ(camera.cameraYSize(), cases[i].size);
  }
  for (const DispatchCall& call : fake.calls()) {
    EXPECT_NE(call.flags & DISPATCH_PROPERTYGET, 0);
    EXPECT_TRUE(call.arguments.empty());
  }
}

TEST_F(MaximCameraTest, ASensorSizeNoSensorCanHaveIsAnErrorNamingTheMember) {
  for (const long size : {0L, -1536L, 65536L, 2147483647L}) {
    SCOPED_TRACE(size);
    fake.answer(kCameraXSize, longAnswer(size));
    const std::string text = automationErrorText([&] { camera.cameraXSize(); });
    EXPECT_NE(text.find("CameraXSize"), std::string::npos) << text;
    EXPECT_NE(text.find(std::to_string(size)), std::string::npos) << text;
  }
}

TEST_F(MaximCameraTest, AsksForEachMemberNameOnceWithItsExactSpelling) {
  for (int i = 0; i < 3; ++i) {
    camera.linkEnabled();
    camera.imageReady();
  }
  EXPECT_EQ(fake.namesAsked(), (std::vector<std::wstring>{L"LinkEnabled", L"ImageReady"}));
  EXPECT_EQ(fake.callsOf(kImageReady).size(), 3U);
}

TEST_F(MaximCameraTest, FailuresBecomeAutomationErrorsNamingMemberAndHresult) {
  struct Case {
    const char* what;
    std::function<void()> act;
    std::vector<std::string> textParts;
  };
  fake.fail(kExpose, L"Camera is busy", static_cast<SCODE>(0x80040200));
  fake.answer(kImageReady, [](VARIANT* r) {
    r->vt = VT_BSTR;
    r->bstrVal = SysAllocString(L"maybe");
  });

  FakeObject narrow;  // declares StartX as 32-bit and has no SetFullFrame
  narrow.property(L"StartX", kStartX, VT_I4);
  MaximCamera strict{DispatchObject(&narrow, "MaxIm.CCDCamera", apartment)};

  const Case cases[] = {
      {"exception of the application",
       [&] { camera.expose(1.0F); },
       {"MaxIm.CCDCamera.Expose", "Camera is busy", "[MaxIm DL]", "0x80040200", "0x80020009"}},
      {"value of the wrong type",
       [&] { camera.imageReady(); },
       {"MaxIm.CCDCamera.ImageReady", "boolean", "HRESULT 0x"}},
      {"unknown member", [&] { strict.setFullFrame(); }, {"MaxIm.CCDCamera.SetFullFrame", "0x80020006"}},
      {"argument type refused",
       [&] { strict.setStartX(5); },
       {"MaxIm.CCDCamera.StartX", "argument 1 of 1", "0x80020005"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string text = automationErrorText(c.act);
    for (const std::string& part : c.textParts) EXPECT_THAT(text, ::testing::HasSubstr(part));
  }
}

TEST_F(MaximCameraTest, DocumentIsHeldThroughItsOwnDispatchInterfaceWhenOffered) {
  ScriptedDispatch returned;  // what Document hands out
  ScriptedDispatch offered;   // what it answers for the document interface
  returned.addInterface(kDocumentInterfaceId, &offered);
  for (ScriptedDispatch* object : {&returned, &offered})
    object->addMethod(L"", 11, {ScriptedDispatch::kNoArguments}, nullptr);
  fake.answer(kDocument, [&returned](VARIANT* r) {
    r->vt = VT_DISPATCH;
    r->pdispVal = &returned;
    returned.AddRef();  // the result owns a reference
  });
  {
    const auto document = camera.document();
    document->prepare();
    EXPECT_EQ(offered.callsOf(11).size(), 1U);
    EXPECT_TRUE(returned.callsOf(11).empty());
    EXPECT_GT(offered.references(), 1U);
  }
  EXPECT_EQ(returned.references(), 1U);
  EXPECT_EQ(offered.references(), 1U);
}

TEST_F(MaximCameraTest, DocumentWithoutItsInterfaceIsUsedAsReturned) {
  ScriptedDispatch returned;
  returned.addMethod(L"", 11, {ScriptedDispatch::kNoArguments}, nullptr);
  fake.answer(kDocument, [&returned](VARIANT* r) {
    r->vt = VT_DISPATCH;
    r->pdispVal = &returned;
    returned.AddRef();
  });
  {
    const auto document = camera.document();
    document->prepare();
    EXPECT_EQ(returned.callsOf(11).size(), 1U);
  }
  EXPECT_EQ(returned.references(), 1U);
}

TEST_F(MaximCameraTest, NoImageIsAnErrorNotANullDocument) {
  const Answer noImages[] = {[](VARIANT*) {},  // VT_EMPTY
                             [](VARIANT* r) { r->vt = VT_DISPATCH, r->pdispVal = nullptr; }};
  for (const Answer& answer : noImages) {
    fake.answer(kDocument, answer);
    EXPECT_THROW(camera.document(), AutomationError);
  }
}

TEST(MaximApplicationTest, LinksTheTelescopeWithVariantTrueAndReadsItBack) {
  FakeObject fake;
  fake.property(L"TelescopeConnected", kTelescopeConnected, VT_BOOL, boolAnswer(VARIANT_FALSE));
  {
    MaximApplication application{
        DispatchObject(&fake, "MaxIm.Application", std::make_shared<ComApartment>())};
    application.setTelescopeConnected(true);
    EXPECT_FALSE(application.telescopeConnected());
    fake.answer(kTelescopeConnected, boolAnswer(VARIANT_TRUE));
    EXPECT_TRUE(application.telescopeConnected());

    // The start-up message puts this text in its parentheses and the name in
    // "please connect MaximDL to telescope manually", as its users know them.
    fake.fail(kTelescopeConnected, L"No telescope", static_cast<SCODE>(0x80040401));
    try {
      application.setTelescopeConnected(true);
      ADD_FAILURE() << "a failing link must throw";
    } catch (const AutomationError& error) {
      EXPECT_STREQ(error.what(), "are you running on a 64bit OS?");
    }
    EXPECT_EQ(application.name(), "MaximDL");
  }
  const auto puts = fake.callsOf(kTelescopeConnected);
  ASSERT_EQ(puts.size(), 4U);
  EXPECT_TRUE(puts[0].propertyPut);
  EXPECT_EQ(puts[0].arguments.at(0).type, VT_BOOL);
  EXPECT_EQ(puts[0].arguments.at(0).number, -1);
  EXPECT_EQ(fake.references(), 1U);  // the wrapper gave its reference back
}

}  // namespace
}  // namespace nebulor::camera::maxim
