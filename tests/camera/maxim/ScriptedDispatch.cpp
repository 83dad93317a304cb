#include "ScriptedDispatch.h"

#include <oleauto.h>

#include <cwctype>

namespace nebulor::testing {

namespace {

std::wstring upper(const wchar_t* name) {
  std::wstring text(name);
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// What a caller passed, read by hand from the VARIANT.
Argument describe(const VARIANT& value) {
  Argument argument;
  argument.type = value.vt;
  VARIANT plain;
  VariantInit(&plain);
  if (SUCCEEDED(VariantCopyInd(&plain, const_cast<VARIANT*>(&value)))) {  // only read
    if (plain.vt == VT_BSTR) {
      if (plain.bstrVal != nullptr) argument.text.assign(plain.bstrVal, SysStringLen(plain.bstrVal));
    } else if (SUCCEEDED(VariantChangeType(&plain, &plain, 0, VT_R8))) {
      argument.number = plain.dblVal;
    }
  }
  VariantClear(&plain);
  return argument;
}

}  // namespace

void ScriptedDispatch::add(const std::wstring& name, DISPID id, Member member) {
  members_[id] = std::move(member);
  if (!name.empty()) names_[upper(name.c_str())] = id;
}

void ScriptedDispatch::addMethod(const std::wstring& name, DISPID id, std::vector<Signature> signatures,
                                 Handler handler) {
  add(name, id, Member{false, std::move(signatures), VT_EMPTY, std::move(handler)});
}

void ScriptedDispatch::addProperty(const std::wstring& name, DISPID id, VARTYPE putType, Handler handler) {
  add(name, id, Member{true, {}, putType, std::move(handler)});
}

void ScriptedDispatch::addInterface(const IID& iid, IUnknown* target) {
  interfaces_.emplace_back(iid, target);
}

std::vector<DispatchCall> ScriptedDispatch::callsOf(DISPID id) const {
  std::vector<DispatchCall> found;
  for (const DispatchCall& call : calls_) {
    if (call.id == id) found.push_back(call);
  }
  return found;
}

HRESULT ScriptedDispatch::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  for (const auto& [known, target] : interfaces_) {
    if (IsEqualIID(iid, known)) {
      target->AddRef();
      *object = target;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

ULONG ScriptedDispatch::AddRef() { return ++references_; }

ULONG ScriptedDispatch::Release() {
  const ULONG left = --references_;
  if (left == 0 && finalRelease_) {
    const std::function<void()> action = std::move(finalRelease_);  // survives a delete of this
    action();
  }
  return left;
}

HRESULT ScriptedDispatch::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT ScriptedDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT ScriptedDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    namesAsked_.emplace_back(names[i]);
    const auto found = names_.find(upper(names[i]));
    ids[i] = found == names_.end() ? DISPID_UNKNOWN : found->second;
    if (found == names_.end()) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT ScriptedDispatch::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters,
                                 VARIANT* result, EXCEPINFO* info, UINT* argError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  const auto found = members_.find(id);
  if (found == members_.end() || parameters == nullptr) return DISP_E_MEMBERNOTFOUND;
  const Member& member = found->second;

  const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  std::vector<Signature> accepted;
  if (member.property && put) {
    if (member.putType == VT_EMPTY) return DISP_E_MEMBERNOTFOUND;
    accepted = {Signature{member.putType}};
  } else if (member.property) {
    if ((flags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
    accepted = {Signature{}};
  } else {
    if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    accepted = member.signatures;
  }
  const bool namedPut = parameters->cNamedArgs == 1 && parameters->rgdispidNamedArgs != nullptr &&
                        parameters->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
  if (put != namedPut || (!put && parameters->cNamedArgs != 0)) return DISP_E_PARAMNOTFOUND;

  // rgvarg holds the last argument first.
  const auto passed = [parameters](UINT natural) -> const VARIANT& {
    return parameters->rgvarg[parameters->cArgs - 1 - natural];
  };
  HRESULT refusal = DISP_E_BADPARAMCOUNT;
  bool matched = false;
  for (const Signature& signature : accepted) {
    if (signature.size() != parameters->cArgs) continue;
    UINT natural = 0;
    while (natural < signature.size() && passed(natural).vt == signature[natural]) ++natural;
    if (natural == signature.size()) {
      matched = true;
      break;
    }
    if (refusal != DISP_E_TYPEMISMATCH && argError != nullptr) *argError = parameters->cArgs - 1 - natural;
    refusal = DISP_E_TYPEMISMATCH;
  }
  if (!matched) return refusal;

  DispatchCall call{id, flags, {}, put};
  for (UINT natural = 0; natural < parameters->cArgs; ++natural)
    call.arguments.push_back(describe(passed(natural)));
  calls_.push_back(call);

  VARIANT ignored;
  VariantInit(&ignored);
  VARIANT* target = result != nullptr ? result : &ignored;
  VariantInit(target);
  const HRESULT hr = member.handler ? member.handler(call, *parameters, target, info) : S_OK;
  VariantClear(&ignored);
  return hr;
}

HRESULT raiseException(EXCEPINFO* info, const wchar_t* source, const wchar_t* description, SCODE code) {
  if (info != nullptr) {
    *info = EXCEPINFO{};
    info->bstrSource = SysAllocString(source);
    info->bstrDescription = SysAllocString(description);
    info->scode = code;
  }
  return DISP_E_EXCEPTION;
}

}  // namespace nebulor::testing
