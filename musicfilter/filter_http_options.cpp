#include <cstdlib>
#include <cstring>

#include "musicfilter/filter_http_client.h"

namespace quenvara::musicfilter {

FilterHttpClient::Options FilterHttpClient::optionsFromEnvironment(std::string_view buildUrl) {
    Options o;
    o.baseUrl = std::string(buildUrl);
    if (const char* url = std::getenv("QUENVARA_FILTER_URL"); url != nullptr && *url != '\0') {
        o.baseUrl = url;
    }
    if (const char* ca = std::getenv("QUENVARA_FILTER_CAFILE"); ca != nullptr) {
        o.extraCaFile = ca;
    }
    const char* insecure = std::getenv("QUENVARA_FILTER_INSECURE");
    o.insecure = insecure != nullptr && std::strcmp(insecure, "1") == 0;
    return o;
}

}  // namespace quenvara::musicfilter
