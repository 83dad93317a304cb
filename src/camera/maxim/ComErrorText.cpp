#include "camera/maxim/ComErrorText.h"

#include <cstdio>

#include "camera/maxim/WideText.h"

namespace nebulor::camera::maxim {

namespace {

std::string hex(unsigned long code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", code);
  return buffer;
}

std::string systemText(HRESULT hr) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return {};
  std::wstring text(buffer, length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  return narrow(text);
}

bool namesAnArgument(HRESULT hr) {
  return hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND || hr == DISP_E_OVERFLOW;
}

}  // namespace

std::string hresultText(HRESULT hr) {
  std::string text = "HRESULT " + hex(static_cast<unsigned long>(hr));
  const std::string system = systemText(hr);
  if (!system.empty()) text += " (" + system + ")";
  return text;
}

std::string invokeErrorText(const std::string& member, HRESULT hr, const EXCEPINFO& info, UINT argError,
                            UINT argCount) {
  std::string text = member + " failed";
  if (hr == DISP_E_EXCEPTION) {
    const std::string description = narrow(info.bstrDescription);
    text += ": " + (description.empty() ? std::string("the application reported an error") : description);
    const std::string source = narrow(info.bstrSource);
    if (!source.empty()) text += " [" + source + "]";
    const unsigned long code = info.scode != 0 ? static_cast<unsigned long>(info.scode) : info.wCode;
    if (code != 0) text += " (error code " + hex(code) + ")";
  } else if (namesAnArgument(hr) && argError < argCount) {
    // Invoke counts arguments from the last one.
    text += ": argument " + std::to_string(argCount - argError) + " of " + std::to_string(argCount) +
            " was rejected";
  }
  return text + ", " + hresultText(hr);
}

}  // namespace nebulor::camera::maxim
