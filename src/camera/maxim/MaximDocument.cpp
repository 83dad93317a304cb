#include "camera/maxim/MaximDocument.h"

#include <utility>

#include "camera/maxim/VariantArray.h"
#include "camera/maxim/WideText.h"

namespace nebulor::camera::maxim {

namespace {

constexpr DISPID kPrepare = 11;
constexpr DISPID kFitsKey = 15;
constexpr DISPID kMouseDown = 51;
constexpr DISPID kClickX = 52;
constexpr DISPID kClickY = 53;
constexpr DISPID kClickNew = 57;
constexpr DISPID kCentroid = 70;

// Elements of the centroid array, by their own index.
constexpr long kCentroidX = 6;
constexpr long kCentroidY = 7;
constexpr long kCentroidScore = 12;

const char* const kName = "MaxIm document";

DispatchObject documentInterface(IDispatch* returned, std::shared_ptr<ComApartment> apartment) {
  if (returned == nullptr) throw AutomationError("The camera returned no image document");
  IDispatch* own = nullptr;
  if (SUCCEEDED(returned->QueryInterface(kDocumentInterfaceId, reinterpret_cast<void**>(&own))) &&
      own != nullptr) {
    DispatchObject document(own, kName, std::move(apartment));
    own->Release();  // the DispatchObject holds its own reference
    return document;
  }
  return DispatchObject(returned, kName, std::move(apartment));
}

}  // namespace

MaximDocument::MaximDocument(IDispatch* document, std::shared_ptr<ComApartment> apartment)
    : document_(documentInterface(document, std::move(apartment))) {}

void MaximDocument::prepare() { document_.callMethod(document_.member(kPrepare), {}); }

std::optional<FitsValue> MaximDocument::fitsKey(const std::string& keyword) {
  Variant argument = Variant::text(keyword);
  const DispatchObject::Member member = document_.member(kFitsKey);
  Variant value = document_.callFunction(member, std::span<Variant>(&argument, 1));
  const VARTYPE type = value.type();
  // A null value is as absent as an empty one: neither is a header value.
  if (type == VT_EMPTY || type == VT_NULL) return std::nullopt;
  if (type == VT_BSTR) return FitsValue(narrow(value.raw().bstrVal));
  if (FAILED(value.changeType(VT_R8))) {
    throw AutomationError(member.name + " returned a header value of VARIANT type " + std::to_string(type) +
                          " for " + keyword + ", neither a number nor text");
  }
  return FitsValue(value.raw().dblVal);
}

std::int16_t MaximDocument::clickNew() { return document_.getInt16(document_.member(kClickNew)); }

bool MaximDocument::mouseDown() { return document_.getBool(document_.member(kMouseDown)); }

std::int16_t MaximDocument::clickX() { return document_.getInt16(document_.member(kClickX)); }

std::int16_t MaximDocument::clickY() { return document_.getInt16(document_.member(kClickY)); }

stars::Centroid MaximDocument::centroidNear(std::int16_t x, std::int16_t y, PassBy passBy) {
  // By reference the application may write to x and y; those are copies.
  std::int16_t xStorage = x;
  std::int16_t yStorage = y;
  Variant arguments[2];
  if (passBy == PassBy::reference) {
    arguments[0] = Variant::int16Ref(&xStorage);
    arguments[1] = Variant::int16Ref(&yStorage);
  } else {
    arguments[0] = Variant::int16(x);
    arguments[1] = Variant::int16(y);
  }
  const DispatchObject::Member member = document_.member(kCentroid);
  const Variant result = document_.callFunction(member, arguments);
  const VariantArray centroid(result.raw(), member.name);
  // The application tells no status: a score below the threshold is a faint star.
  const double score = centroid.number(kCentroidScore);
  return {centroid.number(kCentroidX), centroid.number(kCentroidY), score,
          score >= stars::kCleanDetection ? stars::StarStatus::found : stars::StarStatus::faint};
}

}  // namespace nebulor::camera::maxim
