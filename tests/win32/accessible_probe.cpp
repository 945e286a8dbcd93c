// What assistive technologies read of the uploader's window: for each
// child window of the one captioned "퀜바라 파일 올리기" that has an
// accessible object, a line "role=0x.. state=0x.. name="..." value="..."",
// read across processes through Active Accessibility as a screen reader
// does. Exits with 1 when there is no such window.
#include <windows.h>
// after windows.h
#include <oleacc.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
    if (text == nullptr) {
        return {};
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

BOOL CALLBACK describe(HWND child, LPARAM) {
    IAccessible* object = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(child, OBJID_CLIENT, IID_IAccessible,
                                            reinterpret_cast<void**>(&object))) ||
        object == nullptr) {
        return TRUE;
    }
    VARIANT self;
    ::VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role;
    VARIANT state;
    ::VariantInit(&role);
    ::VariantInit(&state);
    BSTR name = nullptr;
    BSTR value = nullptr;
    object->get_accRole(self, &role);
    object->get_accState(self, &state);
    object->get_accName(self, &name);
    object->get_accValue(self, &value);
    std::printf("role=0x%lx state=0x%lx name=\"%s\" value=\"%s\"\n",
                role.vt == VT_I4 ? role.lVal : -1L, state.vt == VT_I4 ? state.lVal : 0L,
                utf8(name).c_str(), utf8(value).c_str());
    ::SysFreeString(name);
    ::SysFreeString(value);
    object->Release();
    return TRUE;
}

}  // namespace

int main() {
    ::CoInitialize(nullptr);
    HWND window = ::FindWindowW(nullptr, L"퀜바라 파일 올리기");
    if (window == nullptr) {
        return 1;
    }
    ::EnumChildWindows(window, describe, 0);
    std::fflush(stdout);
    ::CoUninitialize();
    return 0;
}
