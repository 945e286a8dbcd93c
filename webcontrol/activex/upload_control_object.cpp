#include "webcontrol/activex/upload_control_object.h"

#include <cwctype>
#include <string>
#include <vector>

#include "webcontrol/activex/variant_values.h"
#include "webcontrol/dispatch_table.h"

namespace quenvara::webcontrol::activex {

// {06C061D8-0D1D-4CC5-BBE7-7B7B98C3893B}: fixed once chosen.
const CLSID kControlClassId = {
    0x06c061d8, 0x0d1d, 0x4cc5, {0xbb, 0xe7, 0x7b, 0x7b, 0x98, 0xc3, 0x89, 0x3b}};

namespace {

constexpr int kShowSelectDlg = 4;
constexpr int kRunUploadModule = 10;

bool sameNameIgnoringCase(std::string_view ours, const wchar_t* theirs) {
    std::size_t i = 0;
    for (; i < ours.size(); ++i) {
        if (theirs[i] == L'\0' ||
            std::towlower(theirs[i]) != std::towlower(static_cast<unsigned char>(ours[i]))) {
            return false;
        }
    }
    return theirs[i] == L'\0';
}

HRESULT raise(EXCEPINFO* exception, const std::string& why) {
    if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->scode = DISP_E_EXCEPTION;
        const std::wstring source = L"QuenvaraUploadControl";
        exception->bstrSource = ::SysAllocString(source.c_str());
        const std::wstring text = wideFromUtf8(why);
        exception->bstrDescription =
            ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    return DISP_E_EXCEPTION;
}

}  // namespace

UploadControlObject::UploadControlObject(ControlServicesHolder& shared, std::atomic<long>& objects)
    : shared_(shared), objects_(objects), control_(shared.services(), shared.module()) {
    ++objects_;
}

UploadControlObject::~UploadControlObject() {
    --objects_;
}

HRESULT UploadControlObject::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
        *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(iid, IID_IPersistPropertyBag) || IsEqualIID(iid, IID_IPersist)) {
        *out = static_cast<IPersistPropertyBag*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG UploadControlObject::AddRef() {
    return ++references_;
}

ULONG UploadControlObject::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT UploadControlObject::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT UploadControlObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) {
        *info = nullptr;
    }
    return DISP_E_BADINDEX;
}

// Names are matched as COM does, without regard to case; only the member's
// own name is known (no named arguments).
HRESULT UploadControlObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (names == nullptr || ids == nullptr || count == 0 || names[0] == nullptr) {
        return E_INVALIDARG;
    }
    HRESULT outcome = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    for (const auto& member : dispatchMembers()) {
        if (sameNameIgnoringCase(member.name, names[0])) {
            ids[0] = member.id;
        }
    }
    if (ids[0] == DISPID_UNKNOWN || count > 1) {
        outcome = DISP_E_UNKNOWNNAME;
    }
    return outcome;
}

// Nothing thrown may cross into the script's host: a failure inside a call
// is the script's error, with its text.
template <class F>
HRESULT guarded(EXCEPINFO* exception, F&& call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception& failure) {
        return raise(exception, failure.what());
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT UploadControlObject::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                    DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                    UINT* badArgument) {
    return guarded(exception, [&] {
        return invokeMember(id, iid, locale, flags, params, result, exception, badArgument);
    });
}

HRESULT UploadControlObject::invokeMember(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                          VARIANT* result, EXCEPINFO* exception,
                                          UINT* badArgument) {
    const DispatchMember* member = findMember(static_cast<int>(id));
    if (member == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (put && !member->property) {
        return DISP_E_MEMBERNOTFOUND;
    }
    const UINT given = params != nullptr ? params->cArgs : 0;
    const UINT named = params != nullptr ? params->cNamedArgs : 0;
    // A property is read with no argument and written with one, as the
    // flags say: a read with a value, or a write without, is no call.
    if (member->property && given != (put ? 1u : 0u)) {
        return DISP_E_BADPARAMCOUNT;
    }
    // The only named argument COM passes is a property put's value.
    if (named > (put ? 1u : 0u) ||
        (named == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
        return DISP_E_NONAMEDARGS;
    }
    // Arguments arrive last first.
    std::vector<ControlValue> arguments;
    for (UINT i = 0; i < given; ++i) {
        const UINT at = given - 1 - i;
        auto value = controlValueOf(params->rgvarg[at]);
        if (!value) {
            if (badArgument != nullptr) {
                *badArgument = at;
            }
            return DISP_E_TYPEMISMATCH;
        }
        arguments.push_back(std::move(*value));
    }
    const std::lock_guard lock(shared_.callLock());
    // A page's script may call again from a dialog's or a message box's
    // message loop: it may ask, but not start a selection or a hand-over
    // while one is running.
    if ((member->id == kShowSelectDlg || member->id == kRunUploadModule) && longCall_) {
        return raise(exception, std::string(member->name) + ": another call is still running");
    }
    struct Running {
        bool& flag;
        bool was;
        ~Running() { flag = was; }
    } running{longCall_, longCall_};
    if (member->id == kShowSelectDlg || member->id == kRunUploadModule) {
        longCall_ = true;
    }
    auto answer = invoke(control_, *member, arguments);
    if (!answer) {
        return raise(exception, answer.error());
    }
    if (result != nullptr && !putResult(*answer, *result)) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT UploadControlObject::GetClassID(CLSID* id) {
    if (id == nullptr) {
        return E_POINTER;
    }
    *id = kControlClassId;
    return S_OK;
}

HRESULT UploadControlObject::InitNew() {
    return S_OK;
}

HRESULT UploadControlObject::Load(IPropertyBag* bag, IErrorLog* log) {
    if (bag == nullptr) {
        return E_POINTER;
    }
    return guarded(nullptr, [&] { return loadFrom(*bag, log); });
}

HRESULT UploadControlObject::loadFrom(IPropertyBag& bag, IErrorLog* log) {
    const std::lock_guard lock(shared_.callLock());
    std::map<std::string, ControlValue> values;
    for (const auto& [name, current] : control_.saveProperties()) {
        // Zeroed whole: the bag may clear what it is given before it
        // converts a page's text to the property's own type.
        VARIANT value{};
        value.vt = std::holds_alternative<std::string>(current) ? VT_BSTR : VT_I4;
        const std::wstring wideName = wideFromUtf8(name);
        if (SUCCEEDED(bag.Read(wideName.c_str(), &value, log))) {
            if (auto taken = controlValueOf(value)) {
                values.emplace(name, std::move(*taken));
            }
        }
        ::VariantClear(&value);
    }
    control_.loadProperties(values);
    return S_OK;
}

HRESULT UploadControlObject::Save(IPropertyBag* bag, BOOL, BOOL) {
    if (bag == nullptr) {
        return E_POINTER;
    }
    return guarded(nullptr, [&] { return saveTo(*bag); });
}

HRESULT UploadControlObject::saveTo(IPropertyBag& bag) {
    const std::lock_guard lock(shared_.callLock());
    for (const auto& [name, current] : control_.saveProperties()) {
        VARIANT value;
        if (!putResult(current, value)) {
            return E_OUTOFMEMORY;
        }
        const std::wstring wideName = wideFromUtf8(name);
        const HRESULT written = bag.Write(wideName.c_str(), &value);
        ::VariantClear(&value);
        if (FAILED(written)) {
            return written;
        }
    }
    return S_OK;
}

}  // namespace quenvara::webcontrol::activex
