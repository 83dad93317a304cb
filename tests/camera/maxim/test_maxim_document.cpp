// The image document over a hand-written IDispatch: each member goes out
// under its DISPID with the exact argument types, header values and the
// centroid array come back converted whatever form the application chose.
// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <oleauto.h>
// clang-format on

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AutomationErrorText.h"
#include "FakeMemberIds.h"
#include "ScriptedDispatch.h"
#include "camera/maxim/ComApartment.h"
#include "camera/maxim/MaximDocument.h"

namespace nebulor::camera::maxim {
namespace {

using namespace nebulor::testing;  // the fake objects and their DISPIDs

using Answer = std::function<void(VARIANT*)>;

// The value the fake stores at array index i: distinct for every index, so a
// read of the wrong element shows.
double elementValue(long index) { return 1000.0 + 10.0 * index + 0.25; }

// A one-dimensional array over [lower, upper] of `type` elements.
SAFEARRAY* makeArray(VARTYPE type, long lower, long upper) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(upper - lower + 1), lower};
  SAFEARRAY* array = SafeArrayCreate(type, 1, &bound);
  for (long i = lower; i <= upper; ++i) {
    if (type == VT_VARIANT) {
      VARIANT element;
      VariantInit(&element);
      element.vt = VT_R8;
      element.dblVal = elementValue(i);
      SafeArrayPutElement(array, &i, &element);
    } else if (type == VT_R8) {
      double value = elementValue(i);
      SafeArrayPutElement(array, &i, &value);
    } else if (type == VT_R4) {
      float value = static_cast<float>(elementValue(i));
      SafeArrayPutElement(array, &i, &value);
    }
  }
  return array;
}

class FakeDocument : public ScriptedDispatch {
 public:
  FakeDocument() {
    addMethod(L"", kPrepare, {kNoArguments}, nullptr);
    addMethod(L"", kFitsKey, {{VT_BSTR}}, answering(kFitsKey));
    addProperty(L"", kMouseDown, VT_EMPTY, answering(kMouseDown));
    addProperty(L"", kClickX, VT_EMPTY, answering(kClickX));
    addProperty(L"", kClickY, VT_EMPTY, answering(kClickY));
    addProperty(L"", kClickNew, VT_EMPTY, answering(kClickNew));
  }

  // DISPID 70 taking its two arguments as `argumentType`.
  void centroidTakes(VARTYPE argumentType) {
    addMethod(L"", kCentroid, {{argumentType, argumentType}},
              [this](const DispatchCall&, DISPPARAMS& p, VARIANT* r, EXCEPINFO*) {
                if ((p.rgvarg[0].vt & VT_BYREF) != 0) {  // the application may move the point
                  *p.rgvarg[0].piVal = -1;
                  *p.rgvarg[1].piVal = -1;
                }
                answers_.at(kCentroid)(r);
                return S_OK;
              });
  }
  void answer(DISPID id, Answer value) { answers_[id] = std::move(value); }

 private:
  Handler answering(DISPID id) {
    return [this, id](const DispatchCall&, DISPPARAMS&, VARIANT* r, EXCEPINFO*) {
      answers_.at(id)(r);
      return S_OK;
    };
  }
  std::map<DISPID, Answer> answers_;
};

class MaximDocumentTest : public ::testing::Test {
 protected:
  FakeDocument fake;
  std::unique_ptr<MaximDocument> document =
      std::make_unique<MaximDocument>(&fake, std::make_shared<ComApartment>());

  void answerArray(VARTYPE elementType, long lower, long upper, bool byReference = false) {
    fake.answer(kCentroid, [=, this](VARIANT* r) {
      SAFEARRAY* array = makeArray(elementType, lower, upper);
      if (byReference) {
        heldArray_ = array;  // the server keeps what a reference points at
        r->vt = VT_ARRAY | elementType | VT_BYREF;
        r->pparray = &heldArray_;
      } else {
        r->vt = VT_ARRAY | elementType;
        r->parray = array;
      }
    });
  }
  void TearDown() override {
    if (heldArray_ != nullptr) SafeArrayDestroy(heldArray_);
  }

 private:
  SAFEARRAY* heldArray_ = nullptr;
};

TEST_F(MaximDocumentTest, PrepareCallsDispid11WithoutArgumentsAndReportsItsErrors) {
  document->prepare();
  const auto calls = fake.callsOf(kPrepare);
  ASSERT_EQ(calls.size(), 1U);
  EXPECT_EQ(calls[0].flags, DISPATCH_METHOD);
  EXPECT_TRUE(calls[0].arguments.empty());

  fake.addMethod(L"", kPrepare, {ScriptedDispatch::kNoArguments},
                 [](const DispatchCall&, DISPPARAMS&, VARIANT*, EXCEPINFO* info) {
                   return testing::raiseException(info, L"MaxIm DL", L"No image",
                                                  static_cast<SCODE>(0x80040300));
                 });
  EXPECT_THROW(document->prepare(), AutomationError);  // the callers ignore it, the backend does not hide it
}

TEST_F(MaximDocumentTest, HeaderValuesComeBackAsNumberTextOrAbsent) {
  struct Case {
    const char* what;
    Answer answer;
    std::optional<FitsValue> expected;
  };
  const auto text = [](const wchar_t* value) {
    return [value](VARIANT* r) {
      r->vt = VT_BSTR;
      r->bstrVal = SysAllocString(value);
    };
  };
  const Case cases[] = {
      {"absent", [](VARIANT*) {}, std::nullopt},
      {"null", [](VARIANT* r) { r->vt = VT_NULL; }, std::nullopt},
      {"double", [](VARIANT* r) { r->vt = VT_R8, r->dblVal = 1200.5; }, FitsValue(1200.5)},
      {"single", [](VARIANT* r) { r->vt = VT_R4, r->fltVal = 9.0F; }, FitsValue(9.0)},
      {"long", [](VARIANT* r) { r->vt = VT_I4, r->lVal = 30; }, FitsValue(30.0)},
      {"zero", [](VARIANT* r) { r->vt = VT_I2, r->iVal = 0; }, FitsValue(0.0)},
      {"numeric text", text(L"11.5"), FitsValue(std::string("11.5"))},
      {"empty text", text(L""), FitsValue(std::string())},
      {"text beyond ASCII", text(L"9 \u00B5m"), FitsValue(std::string("9 \xC2\xB5m"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake.answer(kFitsKey, c.answer);
    EXPECT_EQ(document->fitsKey("XPIXSZ"), c.expected);
  }
  for (const DispatchCall& call : fake.callsOf(kFitsKey)) {
    EXPECT_NE(call.flags & DISPATCH_METHOD, 0);
    ASSERT_EQ(call.arguments.size(), 1U);
    EXPECT_EQ(call.arguments[0].type, VT_BSTR);
    EXPECT_EQ(call.arguments[0].text, L"XPIXSZ");
  }
}

TEST_F(MaximDocumentTest, HeaderValueThatIsNeitherNumberNorTextIsAnError) {
  fake.answer(kFitsKey, [](VARIANT* r) { r->vt = VT_ERROR, r->scode = DISP_E_PARAMNOTFOUND; });
  EXPECT_THAT(automationErrorText([this] { document->fitsKey("FOCALLEN"); }),
              ::testing::HasSubstr("FOCALLEN"));
}

TEST_F(MaximDocumentTest, ClickStateIsReadFromItsDispids) {
  fake.answer(kMouseDown, [](VARIANT* r) { r->vt = VT_BOOL, r->boolVal = VARIANT_TRUE; });
  fake.answer(kClickX, [](VARIANT* r) { r->vt = VT_I2, r->iVal = 512; });
  fake.answer(kClickY, [](VARIANT* r) { r->vt = VT_I4, r->lVal = 384; });
  fake.answer(kClickNew, [](VARIANT* r) { r->vt = VT_I2, r->iVal = -1; });
  EXPECT_TRUE(document->mouseDown());
  EXPECT_EQ(document->clickX(), 512);
  EXPECT_EQ(document->clickY(), 384);
  EXPECT_EQ(document->clickNew(), -1);

  fake.answer(kMouseDown, [](VARIANT* r) { r->vt = VT_BOOL, r->boolVal = VARIANT_FALSE; });
  fake.answer(kClickY, [](VARIANT* r) { r->vt = VT_I4, r->lVal = 40000; });  // beyond 16 bits
  EXPECT_FALSE(document->mouseDown());
  EXPECT_THROW(document->clickY(), AutomationError);
}

TEST_F(MaximDocumentTest, CentroidSearchPassesPointByReferenceOrByValueAsAsked) {
  struct Case {
    PassBy passBy;
    VARTYPE type;
  };
  for (const Case c : {Case{PassBy::reference, VT_I2 | VT_BYREF}, Case{PassBy::value, VT_I2}}) {
    SCOPED_TRACE(c.type);
    fake.centroidTakes(c.type);
    answerArray(VT_VARIANT, 0, 12);
    const std::int16_t x = 53;
    const std::int16_t y = -7;
    document->centroidNear(x, y, c.passBy);
    const DispatchCall call = fake.callsOf(kCentroid).back();
    EXPECT_NE(call.flags & DISPATCH_METHOD, 0);
    ASSERT_EQ(call.arguments.size(), 2U);
    EXPECT_EQ(call.arguments[0].type, c.type);
    EXPECT_EQ(call.arguments[1].type, c.type);
    EXPECT_EQ(call.arguments[0].number, x);  // x first, then y
    EXPECT_EQ(call.arguments[1].number, y);
  }
}

TEST_F(MaximDocumentTest, CentroidReadsElements6And7And12ByTheirOwnIndex) {
  struct Case {
    const char* what;
    VARTYPE elementType;
    long lower;
    long upper;
    bool byReference;
  };
  const Case cases[] = {
      {"VARIANTs from 0", VT_VARIANT, 0, 12, false},
      {"VARIANTs from 1", VT_VARIANT, 1, 12, false},
      {"doubles from 0", VT_R8, 0, 15, false},
      {"doubles from 1 by reference", VT_R8, 1, 12, true},
      {"VARIANTs by reference", VT_VARIANT, 0, 20, true},
      {"singles from 1", VT_R4, 1, 13, false},
  };
  fake.centroidTakes(VT_I2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    answerArray(c.elementType, c.lower, c.upper, c.byReference);
    const stars::Centroid centroid = document->centroidNear(10, 20, PassBy::value);
    const double tolerance = c.elementType == VT_R4 ? 1e-3 : 0;
    EXPECT_NEAR(centroid.x, elementValue(6), tolerance);
    EXPECT_NEAR(centroid.y, elementValue(7), tolerance);
    EXPECT_NEAR(centroid.score, elementValue(12), tolerance);
  }
}

TEST_F(MaximDocumentTest, CentroidResultThatIsNoUsableArrayIsAnError) {
  struct Case {
    const char* what;
    Answer answer;
    std::string textPart;
  };
  const Case cases[] = {
      {"too short",
       [](VARIANT* r) { r->vt = VT_ARRAY | VT_VARIANT, r->parray = makeArray(VT_VARIANT, 0, 11); },
       "no element 12"},
      {"not an array", [](VARIANT* r) { r->vt = VT_R8, r->dblVal = 3; }, "array"},
      {"two dimensions",
       [](VARIANT* r) {
         SAFEARRAYBOUND bounds[2] = {{13, 0}, {2, 0}};
         r->vt = VT_ARRAY | VT_R8;
         r->parray = SafeArrayCreate(VT_R8, 2, bounds);
       },
       "dimensions"},
      {"text elements",
       [](VARIANT* r) {
         SAFEARRAYBOUND bound{13, 0};
         r->vt = VT_ARRAY | VT_VARIANT;
         r->parray = SafeArrayCreate(VT_VARIANT, 1, &bound);
         VARIANT element;
         element.vt = VT_BSTR;
         element.bstrVal = SysAllocString(L"star");
         for (long i = 0; i < 13; ++i) SafeArrayPutElement(r->parray, &i, &element);
         VariantClear(&element);
       },
       "not a number"},
  };
  fake.centroidTakes(VT_I2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake.answer(kCentroid, c.answer);
    const std::string text = automationErrorText([this] { document->centroidNear(1, 2, PassBy::value); });
    EXPECT_THAT(text, ::testing::HasSubstr(c.textPart));
    EXPECT_THAT(text, ::testing::HasSubstr("DISPID 70"));
  }
}

TEST_F(MaximDocumentTest, ReleasesTheDocumentWhenDropped) {
  EXPECT_GT(fake.references(), 1U);
  document.reset();
  EXPECT_EQ(fake.references(), 1U);
}

}  // namespace
}  // namespace nebulor::camera::maxim
