#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/dynamic_library.h"
#include "platform/system_dirs.h"
#include "quenvara/wma_module.h"

namespace quenvara::musicfilter {

// The nine entry points of the WMA decoder module.
struct WmaEntryPoints {
    L_OrvaneWmaInit_t init = nullptr;
    L_OrvaneWmaSetParams_t setParams = nullptr;
    L_OrvaneWmaOpenMemory_t openMemory = nullptr;
    L_OrvaneWmaGetWaveFormat_t getWaveFormat = nullptr;
    L_OrvaneWmaReadSamplesInit_t readSamplesInit = nullptr;
    L_OrvaneWmaReadSamples_t readSamples = nullptr;
    L_OrvaneWmaClose_t close = nullptr;
    L_OrvaneWmaRelease_t release = nullptr;
    L_OrvaneWmaGetTotalPlayTime_t getTotalPlayTime = nullptr;
};

inline const std::string kWmaModuleFileName = platform::sharedLibraryName("QuenvaraMFWma");

// The WMA decoder module, loaded by file name on demand. Checks run on the
// host's threads, so binding is serialised; once bound, the entry points
// stay valid until unbind.
class WmaBinding {
  public:
    WmaBinding() : WmaBinding(kWmaModuleFileName) {}
    explicit WmaBinding(std::string fileName) : fileName_(std::move(fileName)) {}

    // 2: already bound, nothing done; 1: loaded with all nine entry points
    // (and, with testOnly, released again at once); 0: not loadable or an
    // entry point missing, and the binding is clear.
    int bind(bool testOnly);
    // Bound, or loadable with all nine entry points: one test under the
    // lock, so that a bind by another thread a moment earlier still counts.
    bool available() { return bind(true) != 0; }
    // Null while unbound.
    const WmaEntryPoints* entryPoints() const;
    void unbind();

  private:
    std::string fileName_;
    platform::DynamicLibrary library_;
    std::optional<WmaEntryPoints> entryPoints_;
    mutable std::mutex lock_;
};

// The library-wide binding, released when the library is unloaded.
WmaBinding& wmaBinding();

}  // namespace quenvara::musicfilter
