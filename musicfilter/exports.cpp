#include "quenvara/music_filter.h"

#include <cstring>
#include <exception>

#include "musicfilter/check_flow.h"
#include "musicfilter/filter_http_client.h"
#include "platform/path_text.h"

#ifndef QUENVARA_FILTER_URL
#define QUENVARA_FILTER_URL "https://127.0.0.1:8443"
#endif

namespace {

using namespace quenvara::musicfilter;

FilterPost httpPost() {
    return
        [client = FilterHttpClient(FilterHttpClient::optionsFromEnvironment(QUENVARA_FILTER_URL))](
            std::string_view page, const std::string& form) { return client.post(page, form); };
}

// The caller's 548 bytes, read and written whole. Nothing may be thrown
// across the C boundary: an exception becomes `onException`.
template <class F>
int withResult(void* result, int onException, F&& f) {
    MusicCheckResult block;
    std::memcpy(block.data(), result, block.size());
    int code = onException;
    try {
        code = f(block);
    } catch (...) {
        return onException;
    }
    std::memcpy(result, block.data(), block.size());
    return code;
}

}  // namespace

extern "C" {

int QUENVARA_MF_CALL L_OrvaneMusicUpload(void* result, const char* filePath, const char* userId) {
    if (result == nullptr || filePath == nullptr) {
        return 99;
    }
    try {
        // A name that is not a music file leaves the block untouched.
        if (!formatOf(filePath)) {
            return 3;
        }
    } catch (...) {
        return 2;
    }
    return withResult(result, 2, [&](MusicCheckResult& block) {
        // Both come in the system's code page.
        return uploadCheck(httpPost(), block, quenvara::platform::systemTextPath(filePath),
                           quenvara::platform::utf8FromSystemText(userId != nullptr ? userId : ""));
    });
}

int QUENVARA_MF_CALL L_OrvaneMusicDownload(void* result, const char* contentKey,
                                           const char* userId) {
    if (result == nullptr) {
        return 1;
    }
    return withResult(result, 1, [&](MusicCheckResult& block) {
        return downloadCheck(
            httpPost(), block, contentKey != nullptr ? contentKey : "",
            quenvara::platform::utf8FromSystemText(userId != nullptr ? userId : ""));
    });
}

int QUENVARA_MF_CALL L_OrvaneMusicIsWMA() {
    // No media player registry here: an unknown player version, so 1.
    try {
        return wmaModuleAvailable() ? 0 : 1;
    } catch (...) {
        return 1;
    }
}
}
