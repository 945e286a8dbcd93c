#pragma once

#include <windows.h>

#include <ocidl.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "webcontrol/quenvara_upload_control.h"

namespace quenvara::webcontrol::activex {

// What the module's controls share, and the one lock their calls take: a
// page's script may call again from inside a dialog's message loop (the
// same thread, so the lock is recursive), another page's thread waits.
struct ControlServicesHolder {
    virtual ~ControlServicesHolder() = default;
    virtual ControlServices services() = 0;
    virtual ControlModule& module() = 0;
    virtual std::recursive_mutex& callLock() = 0;
};

// COM's interfaces have no virtual destructor by design: objects go through
// Release, never through a base pointer's delete.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// One control on a page: IDispatch over the control's dispatch table, and
// the three properties through IPersistPropertyBag (a page's <param>s).
class UploadControlObject final : public IDispatch, public IPersistPropertyBag {
  public:
    // The module counts living objects for DllCanUnloadNow.
    UploadControlObject(ControlServicesHolder& shared, std::atomic<long>& objects);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch: no type information; names are looked up in the table.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* badArgument) override;

    // IPersistPropertyBag
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

  private:
    ~UploadControlObject();
    HRESULT invokeMember(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* exception, UINT* badArgument);
    HRESULT loadFrom(IPropertyBag& bag, IErrorLog* log);
    HRESULT saveTo(IPropertyBag& bag);

    std::atomic<ULONG> references_{1};
    ControlServicesHolder& shared_;
    std::atomic<long>& objects_;
    CQuenvaraUploadControlCtrl control_;
    // A selection or a hand-over is running on this control.
    bool longCall_ = false;
};
#pragma GCC diagnostic pop

// The control's class id.
extern const CLSID kControlClassId;

}  // namespace quenvara::webcontrol::activex
