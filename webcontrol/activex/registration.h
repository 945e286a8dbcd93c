#pragma once

#include <windows.h>

#include <string>

namespace quenvara::webcontrol::activex {

inline constexpr wchar_t kProgId[] = L"QUENVARAUPLOADCONTROL.QuenvaraUploadControlCtrl.1";
inline constexpr wchar_t kTypeName[] = L"QuenvaraUploadControl Control";

// Writes the control's class and ProgID (in-process server `modulePath`,
// apartment threading, its misc status) and marks it safe for scripting
// and for initialising from persistent data; S_OK or SELFREG_E_CLASS.
HRESULT registerControl(const std::wstring& modulePath);
// Removes the class and ProgID keys; the shared category definitions stay.
HRESULT unregisterControl();

}  // namespace quenvara::webcontrol::activex
