#include "webcontrol/activex/registration.h"

#include <comcat.h>
#include <olectl.h>

#include "webcontrol/activex/upload_control_object.h"

namespace quenvara::webcontrol::activex {

namespace {

// Activate when visible, set client site first, inside-out, can't link
// inside, recompose on resize.
constexpr wchar_t kMiscStatus[] = L"131473";

// {7DD95801-9882-11CF-9FA9-00AA006C42C4}, {7DD95802-9882-11CF-9FA9-00AA006C42C4}
const CATID kSafeForScripting = {
    0x7dd95801, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}};
const CATID kSafeForInitializing = {
    0x7dd95802, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}};

std::wstring classIdText() {
    wchar_t text[64];
    ::StringFromGUID2(kControlClassId, text, 64);
    return text;
}

std::wstring classKey() {
    return L"CLSID\\" + classIdText();
}

// Sets the default value (name null) or a named value of a key under
// HKEY_CLASSES_ROOT, creating the key.
bool setValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                          &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG written =
        ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(handle);
    return written == ERROR_SUCCESS;
}

bool removeTree(const std::wstring& key) {
    const LONG removed = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    if (removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND) {
        // RegDeleteTree empties the key; the key itself goes here.
        const LONG gone = ::RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
        return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
    }
    return false;
}

// COM for the call, when the caller's thread has none (regsvr32 has it).
template <class F>
bool withCom(F&& work) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool done = work();
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return done;
}

template <class Interface>
Interface* categoryManager(REFIID iid) {
    Interface* manager = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                  iid, reinterpret_cast<void**>(&manager)))) {
        return nullptr;
    }
    return manager;
}

bool registerCategories() {
    ICatRegister* categories = categoryManager<ICatRegister>(IID_ICatRegister);
    if (categories == nullptr) {
        return false;
    }
    CATEGORYINFO info[2] = {};
    info[0].catid = kSafeForScripting;
    info[0].lcid = 0x409;
    ::lstrcpynW(info[0].szDescription, L"Controls that are safely scriptable", 128);
    info[1].catid = kSafeForInitializing;
    info[1].lcid = 0x409;
    ::lstrcpynW(info[1].szDescription, L"Controls safely initializable from persistent data", 128);
    CATID implemented[2] = {kSafeForScripting, kSafeForInitializing};
    const bool done =
        SUCCEEDED(categories->RegisterCategories(2, info)) &&
        SUCCEEDED(categories->RegisterClassImplCategories(kControlClassId, 2, implemented));
    categories->Release();
    return done;
}

// The two categories are shared with other controls: a definition goes only
// when no registered class implements it any more (as when registering
// made it).
bool forgetUnusedCategories() {
    ICatInformation* information = categoryManager<ICatInformation>(IID_ICatInformation);
    ICatRegister* categories = categoryManager<ICatRegister>(IID_ICatRegister);
    bool done = information != nullptr && categories != nullptr;
    for (const CATID& category : {kSafeForScripting, kSafeForInitializing}) {
        if (!done) {
            break;
        }
        IEnumCLSID* classes = nullptr;
        CATID wanted[1] = {category};
        if (FAILED(information->EnumClassesOfCategories(1, wanted, static_cast<ULONG>(-1), nullptr,
                                                        &classes))) {
            done = false;
            break;
        }
        CLSID any;
        ULONG found = 0;
        const bool used = classes->Next(1, &any, &found) == S_OK && found == 1;
        classes->Release();
        if (!used) {
            done = SUCCEEDED(categories->UnRegisterCategories(1, wanted));
        }
    }
    if (categories != nullptr) {
        categories->Release();
    }
    if (information != nullptr) {
        information->Release();
    }
    return done;
}

}  // namespace

HRESULT registerControl(const std::wstring& modulePath) {
    const std::wstring key = classKey();
    const std::wstring progIdKey = kProgId;
    const bool done = setValue(key, nullptr, kTypeName) &&
                      setValue(key + L"\\InprocServer32", nullptr, modulePath) &&
                      setValue(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
                      setValue(key + L"\\ProgID", nullptr, kProgId) &&
                      setValue(key + L"\\Control", nullptr, L"") &&
                      setValue(key + L"\\MiscStatus", nullptr, L"0") &&
                      setValue(key + L"\\MiscStatus\\1", nullptr, kMiscStatus) &&
                      setValue(key + L"\\Version", nullptr, L"1.0") &&
                      setValue(progIdKey, nullptr, kTypeName) &&
                      setValue(progIdKey + L"\\CLSID", nullptr, classIdText());
    // A registration half made is taken back whole.
    if (!done || !withCom(registerCategories)) {
        unregisterControl();
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

HRESULT unregisterControl() {
    // Every part is tried, whatever another part did.
    const bool classGone = removeTree(classKey());
    const bool progIdGone = removeTree(kProgId);
    const bool categoriesDone = withCom(forgetUnusedCategories);
    return classGone && progIdGone && categoriesDone ? S_OK : SELFREG_E_CLASS;
}

}  // namespace quenvara::webcontrol::activex
