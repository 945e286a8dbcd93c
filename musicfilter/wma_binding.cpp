#include "musicfilter/wma_binding.h"

namespace quenvara::musicfilter {
namespace {

template <class T>
bool resolve(const platform::DynamicLibrary& library, const char* name, T& to) {
    to = reinterpret_cast<T>(library.symbol(name));
    return to != nullptr;
}

}  // namespace

int WmaBinding::bind(bool testOnly) {
    std::lock_guard guard(lock_);
    if (entryPoints_) {
        return 2;
    }
    platform::DynamicLibrary library(fileName_);
    if (!library.loaded()) {
        return 0;
    }
    WmaEntryPoints e;
    const bool complete = resolve(library, "L_OrvaneWmaInit", e.init) &&
                          resolve(library, "L_OrvaneWmaSetParams", e.setParams) &&
                          resolve(library, "L_OrvaneWmaOpenMemory", e.openMemory) &&
                          resolve(library, "L_OrvaneWmaGetWaveFormat", e.getWaveFormat) &&
                          resolve(library, "L_OrvaneWmaReadSamplesInit", e.readSamplesInit) &&
                          resolve(library, "L_OrvaneWmaReadSamples", e.readSamples) &&
                          resolve(library, "L_OrvaneWmaClose", e.close) &&
                          resolve(library, "L_OrvaneWmaRelease", e.release) &&
                          resolve(library, "L_OrvaneWmaGetTotalPlayTime", e.getTotalPlayTime);
    if (!complete) {
        return 0;  // the local library is released on return
    }
    if (!testOnly) {
        library_ = std::move(library);
        entryPoints_ = e;
    }
    return 1;
}

const WmaEntryPoints* WmaBinding::entryPoints() const {
    std::lock_guard guard(lock_);
    return entryPoints_ ? &*entryPoints_ : nullptr;
}

void WmaBinding::unbind() {
    std::lock_guard guard(lock_);
    entryPoints_.reset();
    library_.release();
}

WmaBinding& wmaBinding() {
    // Destroyed with the library's other statics, which releases the module.
    static WmaBinding binding;
    return binding;
}

}  // namespace quenvara::musicfilter
