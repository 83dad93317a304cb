#pragma once

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <oaidl.h>
// clang-format on

#include <functional>
#include <map>
#include <string>
#include <vector>

// An automation object written by hand: members are declared with the call
// kind and the exact argument types they accept, anything else is refused
// as a real server refuses it, and every accepted Invoke is recorded with the
// VARIANT types it arrived in. Built on raw Win32 only, so it checks the
// backend's VARIANT handling instead of sharing it.
namespace nebulor::testing {

struct Argument {
  VARTYPE type = VT_EMPTY;  // as passed, VT_BYREF included
  double number = 0;        // the value, read through a reference
  std::wstring text;        // for VT_BSTR
};

struct DispatchCall {
  DISPID id = 0;
  WORD flags = 0;
  std::vector<Argument> arguments;  // in their natural order (first argument first)
  bool propertyPut = false;         // came with the named argument DISPID_PROPERTYPUT
};

class ScriptedDispatch : public IDispatch {
 public:
  // Fills `result` (already VT_EMPTY) or returns a failure; may fill `info`
  // for DISP_E_EXCEPTION. Arguments by reference may be written through.
  using Handler = std::function<HRESULT(const DispatchCall& call, DISPPARAMS& parameters, VARIANT* result,
                                        EXCEPINFO* info)>;

  ScriptedDispatch() = default;
  virtual ~ScriptedDispatch() = default;
  ScriptedDispatch(const ScriptedDispatch&) = delete;
  ScriptedDispatch& operator=(const ScriptedDispatch&) = delete;

  // The argument types of one way to call a method, first argument first.
  using Signature = std::vector<VARTYPE>;
  static inline const Signature kNoArguments{};

  // Members; `name` may be empty for one reached only by DISPID. A method
  // answers calls made with DISPATCH_METHOD whose arguments have exactly the
  // types of one of its `signatures`; a property answers reads made with
  // DISPATCH_PROPERTYGET and, unless `putType` is VT_EMPTY, writes of one
  // `putType` value made with DISPATCH_PROPERTYPUT and the named argument
  // DISPID_PROPERTYPUT.
  void addMethod(const std::wstring& name, DISPID id, std::vector<Signature> signatures, Handler handler);
  void addProperty(const std::wstring& name, DISPID id, VARTYPE putType, Handler handler);
  // QueryInterface for `iid` answers with `target` (which gets the reference).
  void addInterface(const IID& iid, IUnknown* target);
  // Called when the last reference goes; the object may delete itself there.
  void onFinalRelease(std::function<void()> action) { finalRelease_ = std::move(action); }

  const std::vector<DispatchCall>& calls() const { return calls_; }
  std::vector<DispatchCall> callsOf(DISPID id) const;
  const std::vector<std::wstring>& namesAsked() const { return namesAsked_; }
  ULONG references() const { return references_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* info, UINT* argError) override;

 private:
  struct Member {
    bool property;
    std::vector<Signature> signatures;  // a method's
    VARTYPE putType;                    // a property's
    Handler handler;
  };

  void add(const std::wstring& name, DISPID id, Member member);

  ULONG references_ = 1;  // the creator's
  std::map<DISPID, Member> members_;
  std::map<std::wstring, DISPID> names_;  // upper case: names are matched without case
  std::vector<std::pair<IID, IUnknown*>> interfaces_;
  std::vector<DispatchCall> calls_;
  std::vector<std::wstring> namesAsked_;
  std::function<void()> finalRelease_;
};

// Fills EXCEPINFO as a server reports an error of its own.
HRESULT raiseException(EXCEPINFO* info, const wchar_t* source, const wchar_t* description, SCODE code);

}  // namespace nebulor::testing
