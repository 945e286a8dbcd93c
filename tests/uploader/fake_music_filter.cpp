// Stand-ins of the music filter library for the binding's tests. Built twice:
// complete, and without the status entry point.
#include <cstring>

#include "quenvara/music_filter.h"

extern "C" {

// The key of a path: "  ABCDEF  " (blanks around it), for a path naming
// "full" 32 characters with no terminator, for "blocked" a key the service
// refuses; a path naming "refused" gets no key.
int L_OrvaneMusicUpload(void* result, const char* path, const char*) {
    char* r = static_cast<char*>(result);
    if (std::strstr(path, "refused") != nullptr) {
        return 3;
    }
    if (std::strstr(path, "full") != nullptr) {
        std::memcpy(r, "0123456789ABCDEF0123456789ABCDEF", 32);
        std::memcpy(r + 32, "99", 2);  // bytes right after the key are not part of it
    } else if (std::strstr(path, "blocked") != nullptr) {
        std::memcpy(r, "BLOCKED", 7);
    } else {
        std::memcpy(r, "  ABCDEF  ", 10);
    }
    return 0;
}

#ifndef WITHOUT_STATUS
// Status "02" for ABCDEF, "03" for the 32-character key, "04" otherwise;
// an empty key is an error.
int L_OrvaneMusicDownload(void* result, const char* key, const char*) {
    char* r = static_cast<char*>(result);
    if (key[0] == '\0') {
        return 1;
    }
    const char* status = "04";
    if (std::strcmp(key, "ABCDEF") == 0) {
        status = "02";
    } else if (std::strlen(key) == 32) {
        status = "03";
    }
    std::memcpy(r + 32, status, 2);
    return 0;
}
#endif
}
