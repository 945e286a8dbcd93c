#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace quenvara::musicfilter {

// Posts forms to the filter service over HTTPS (libcurl). Certificates are
// verified against the system store plus an optional extra CA file; only an
// explicit insecure switch turns the checks off.
class FilterHttpClient {
  public:
    struct Options {
        std::string baseUrl;  // "https://host:port"
        std::string extraCaFile;
        bool insecure = false;
        // A silent or endless service never holds the caller for long: the
        // connect, the whole exchange, and a transfer that stalls (under one
        // byte a second for this long) are bounded. A time-out is no answer.
        std::chrono::milliseconds connectTimeout{10'000};
        std::chrono::milliseconds exchangeTimeout{60'000};
        std::chrono::seconds stallTimeout{30};
    };

    explicit FilterHttpClient(Options options) : options_(std::move(options)) {}

    // From the environment (QUENVARA_FILTER_URL, QUENVARA_FILTER_CAFILE,
    // QUENVARA_FILTER_INSECURE=1) over the build's base address.
    static Options optionsFromEnvironment(std::string_view buildUrl);

    // One complete exchange: the normalised answer, or "$ERROR$".
    std::string post(std::string_view page, const std::string& form) const;

  private:
    Options options_;
};

// The machine's IPv4 address in dotted form, or empty.
std::string localIpv4Address();

}  // namespace quenvara::musicfilter
