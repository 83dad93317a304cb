#pragma once

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <oaidl.h>
// clang-format on

#include <string>

// Readable texts for failed COM calls. Every text carries the HRESULT, so a
// user's report can be matched with the imaging application's own log.
namespace nebulor::camera::maxim {

// "HRESULT 0x80020005 (Type mismatch.)"; the system's text where it has one.
std::string hresultText(HRESULT hr);

// The failure of IDispatch::Invoke on `member` ("MaxIm.CCDCamera.Expose").
// `info` is read when hr is DISP_E_EXCEPTION; `argError` (an index into the
// reversed argument array, as Invoke reports it) when hr names one argument.
std::string invokeErrorText(const std::string& member, HRESULT hr, const EXCEPINFO& info, UINT argError,
                            UINT argCount);

}  // namespace nebulor::camera::maxim
