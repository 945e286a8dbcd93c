#include "musicfilter/filter_http_client.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstring>
#include <mutex>

#include "musicfilter/filter_answer.h"

namespace quenvara::musicfilter {
namespace {

struct Body {
    std::string text;
    bool full = false;
};

// Reads until the answer buffer is full, then stops the transfer: an answer
// that never ends is cut there, not waited for.
std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const std::size_t n = size * count;
    const std::size_t room = kMaxAnswer - std::min(body->text.size(), kMaxAnswer);
    body->text.append(data, std::min(n, room));
    if (body->text.size() >= kMaxAnswer) {
        body->full = true;
        return 0;  // ends the transfer (CURLE_WRITE_ERROR), the text is kept
    }
    return n;
}

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

std::string FilterHttpClient::post(std::string_view page, const std::string& form) const {
    globalInit();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return std::string(kErrorAnswer);
    }
    const std::string url = options_.baseUrl + std::string(page);
    curl_slist* headers = nullptr;
    // No accept types: libcurl's own "Accept: */*" is taken out.
    headers = curl_slist_append(headers, "Accept:");
    headers = curl_slist_append(headers, "Accept-Language: ko");
    headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    Body body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, form.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(form.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    // Sends "Accept-Encoding: gzip, deflate" and decodes what comes back.
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(options_.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(options_.exchangeTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(options_.stallTimeout.count()));
    if (options_.insecure) {
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    } else if (!options_.extraCaFile.empty()) {
        // The extra file beside the system's certificate folder.
        curl_easy_setopt(curl, CURLOPT_CAINFO, options_.extraCaFile.c_str());
        curl_easy_setopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && body.full)) {
        return std::string(kErrorAnswer);
    }
    // Whatever status came, the body is the answer.
    return normaliseAnswer(body.text);
}

std::string localIpv4Address() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return {};
    }
    std::string loopback;
    std::string found;
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        if (std::strncmp(text, "127.", 4) == 0) {
            loopback = text;
        } else if (found.empty()) {
            found = text;
        }
    }
    ::freeifaddrs(list);
    return found.empty() ? loopback : found;
}

}  // namespace quenvara::musicfilter
