#pragma once

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <wtypes.h>
// clang-format on

#include <string>
#include <string_view>

// UTF-8 inside Nebulor, UTF-16 at the COM boundary.
namespace nebulor::camera::maxim {

std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);
// A BSTR may be null, which COM treats as the empty string.
std::string narrow(BSTR text);

}  // namespace nebulor::camera::maxim
