// QuenvaraUploadControl.dll: the control as an in-process COM server. The
// module's shared state (the pipe writer, the arrays the page reads back)
// comes into being with the first control and lives as long as the module.
#include <windows.h>

#include <olectl.h>

#include <iostream>
#include <memory>
#include <mutex>

#include "handover_client/pipe_list_writer.h"
#include "platform/clock.h"
#include "platform/launcher.h"
#include "platform/message_box_notices.h"
#include "platform/path_text.h"
#include "platform/process_table.h"
#include "platform/system_dirs.h"
#include "webcontrol/activex/registration.h"
#include "webcontrol/activex/upload_control_object.h"
#include "webcontrol/windows_file_dialogs.h"

namespace quenvara::webcontrol::activex {

namespace {

HMODULE thisModule = nullptr;
std::atomic<long> livingObjects{0};
std::atomic<long> serverLocks{0};
std::atomic<long> factoryReferences{0};

std::filesystem::path modulePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(thisModule, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Message boxes, or one line each on standard error when QUENVARA_UI is
// "headless"; the system's dialogs, or the answers in QUENVARA_DIALOG_ANSWERS.
class ModuleState final : public ControlServicesHolder {
  public:
    ModuleState()
        : env_(platform::processEnvironment()),
          notices_(makeNotices(env_)),
          dialogs_(makeDialogs(env_)),
          writer_(*notices_, clock_,
                  [this](std::string_view name) {
                      return platform::pipeDirectory(env_) / std::string(name);
                  }),
          module_(writer_) {}

    ControlServices services() override {
        return ControlServices{
            *notices_, clock_, processes_, launcher_, *dialogs_, env_, modulePath().parent_path()};
    }
    ControlModule& module() override { return module_; }
    std::recursive_mutex& callLock() override { return lock_; }

  private:
    static std::unique_ptr<platform::Notices> makeNotices(const platform::EnvLookup& env) {
        if (env("QUENVARA_UI").value_or("") == "headless") {
            return std::make_unique<platform::StreamNotices>(std::cerr);
        }
        return std::make_unique<platform::MessageBoxNotices>();
    }
    static std::unique_ptr<platform::FileDialogs> makeDialogs(const platform::EnvLookup& env) {
        if (auto file = env("QUENVARA_DIALOG_ANSWERS"); file && !file->empty()) {
            return std::make_unique<platform::ScriptedFileDialogs>(
                platform::ScriptedFileDialogs::readAnswers(platform::utf8Path(*file)));
        }
        return std::make_unique<WindowsFileDialogs>();
    }

    platform::EnvLookup env_;
    std::unique_ptr<platform::Notices> notices_;
    std::unique_ptr<platform::FileDialogs> dialogs_;
    platform::SystemClock clock_;
    platform::ProcProcessTable processes_;
    platform::SpawnLauncher launcher_;
    handover::PipeListWriter writer_;
    ControlModule module_;
    std::recursive_mutex lock_;
};

ModuleState& moduleState() {
    static ModuleState state;
    return state;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // as UploadControlObject
class ClassFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // One static factory; while someone holds it the module stays.
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++factoryReferences); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--factoryReferences); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        // Nothing thrown may reach the caller (the module's state reads
        // its dialog answers when the first control is made).
        UploadControlObject* object = nullptr;
        try {
            object = new UploadControlObject(moduleState(), livingObjects);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
        const HRESULT found = object->QueryInterface(iid, out);
        object->Release();
        return found;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++serverLocks : --serverLocks;
        return S_OK;
    }
};
#pragma GCC diagnostic pop

ClassFactory factory;

}  // namespace

}  // namespace quenvara::webcontrol::activex

using namespace quenvara::webcontrol::activex;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (!IsEqualCLSID(classId, kControlClassId)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return livingObjects == 0 && serverLocks == 0 && factoryReferences == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    try {
        const auto path = modulePath();
        return path.empty() ? SELFREG_E_CLASS : registerControl(path.native());
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    try {
        return unregisterControl();
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}
