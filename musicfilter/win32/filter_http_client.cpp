// The filter service's client over WinHTTP. Certificates are checked by
// WinHTTP against the system's roots; an extra CA file (a test service's
// own certificate) is trusted as one more root, checked by us before the
// form leaves: the request's headers go first, then the server's chain is
// verified, and only then is the body written.
// Windows headers in the order they need each other.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "musicfilter/filter_answer.h"
#include "musicfilter/filter_http_client.h"
#include "platform/path_text.h"

namespace quenvara::musicfilter {
namespace {

struct InternetCloser {
    void operator()(HINTERNET h) const { ::WinHttpCloseHandle(h); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

struct CertificateCloser {
    void operator()(PCCERT_CONTEXT c) const { ::CertFreeCertificateContext(c); }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateCloser>;

struct StoreCloser {
    void operator()(HCERTSTORE s) const { ::CertCloseStore(s, 0); }
};
using Store = std::unique_ptr<void, StoreCloser>;

std::wstring wide(std::string_view utf8) {
    return platform::utf8Path(utf8).native();
}

// The first certificate of a PEM (or DER) file.
Certificate loadCertificate(const std::string& file) {
    std::ifstream in(platform::utf8Path(file), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.empty() || text.size() > (1u << 20)) {
        return nullptr;
    }
    DWORD size = 0;
    const auto* pem = text.c_str();
    const auto pemSize = static_cast<DWORD>(text.size());
    if (::CryptStringToBinaryA(pem, pemSize, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                               nullptr) == 0) {
        return Certificate(::CertCreateCertificateContext(
            X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(text.data()), pemSize));
    }
    std::vector<BYTE> der(size);
    if (::CryptStringToBinaryA(pem, pemSize, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                               nullptr) == 0) {
        return nullptr;
    }
    return Certificate(::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size));
}

// The server's chain, with `extraRoot` as the only root besides the system's
// own, ends in a root that is trusted or is `extraRoot`.
bool chainEndsIn(PCCERT_CONTEXT server, PCCERT_CONTEXT extraRoot) {
    Store extra(::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    if (!extra || ::CertAddCertificateContextToStore(extra.get(), extraRoot, CERT_STORE_ADD_ALWAYS,
                                                     nullptr) == 0) {
        return false;
    }
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (::CertGetCertificateChain(nullptr, server, nullptr, extra.get(), &para, 0, nullptr,
                                  &chain) == 0) {
        return false;
    }
    bool ok = false;
    const DWORD errors = chain->TrustStatus.dwErrorStatus;
    if (errors == CERT_TRUST_NO_ERROR) {
        ok = true;
    } else if ((errors & ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT)) == 0 &&
               chain->cChain > 0 && chain->rgpChain[0]->cElement > 0) {
        const auto* simple = chain->rgpChain[0];
        PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
        ok =
            ::CertCompareCertificate(X509_ASN_ENCODING, root->pCertInfo, extraRoot->pCertInfo) != 0;
    }
    ::CertFreeCertificateChain(chain);
    return ok;
}

DWORD milliseconds(std::chrono::milliseconds value) {
    return static_cast<DWORD>(std::max<std::int64_t>(1, value.count()));
}

}  // namespace

std::string FilterHttpClient::post(std::string_view page, const std::string& form) const {
    const std::string error(kErrorAnswer);
    const std::wstring url = wide(options_.baseUrl + std::string(page));
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (::WinHttpCrackUrl(url.c_str(), 0, 0, &parts) == 0) {
        return error;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    Internet session(::WinHttpOpen(L"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)",
                                   WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        return error;
    }
    // Connect, send and each wait for data are bounded; the whole exchange
    // is bounded below by the stall time of each read.
    const DWORD stall = milliseconds(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::min<std::chrono::milliseconds>(options_.stallTimeout, options_.exchangeTimeout)));
    ::WinHttpSetTimeouts(session.get(), milliseconds(options_.connectTimeout),
                         milliseconds(options_.connectTimeout), stall, stall);
    Internet connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) {
        return error;
    }
    Internet request(::WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) {
        return error;
    }
    Certificate extraRoot;
    if (secure) {
        DWORD flags = 0;
        if (options_.insecure) {
            flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                    SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
        } else if (!options_.extraCaFile.empty()) {
            extraRoot = loadCertificate(options_.extraCaFile);
            if (!extraRoot) {
                return error;
            }
            // WinHTTP still checks the name and the dates; the root is ours
            // to check, below.
            flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        }
        if (flags != 0 && ::WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags,
                                             sizeof flags) == 0) {
            return error;
        }
    }
    const std::wstring headers =
        L"Accept-Language: ko\r\nContent-Type: application/x-www-form-urlencoded\r\n";
    const auto length = static_cast<DWORD>(form.size());
    if (::WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(-1),
                             WINHTTP_NO_REQUEST_DATA, 0, length, 0) == 0) {
        return error;
    }
    if (extraRoot) {
        PCCERT_CONTEXT server = nullptr;
        DWORD size = sizeof server;
        if (::WinHttpQueryOption(request.get(), WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server,
                                 &size) == 0 ||
            server == nullptr) {
            return error;
        }
        const Certificate held(server);
        if (!chainEndsIn(server, extraRoot.get())) {
            return error;
        }
    }
    DWORD written = 0;
    if (length > 0 && (::WinHttpWriteData(request.get(), form.data(), length, &written) == 0 ||
                       written != length)) {
        return error;
    }
    if (::WinHttpReceiveResponse(request.get(), nullptr) == 0) {
        return error;
    }
    // Whatever status came, the body is the answer, read until it ends or
    // fills the answer buffer.
    std::string body;
    const auto started = std::chrono::steady_clock::now();
    while (body.size() < kMaxAnswer) {
        char chunk[4096];
        const DWORD want =
            static_cast<DWORD>(std::min<std::size_t>(sizeof chunk, kMaxAnswer - body.size()));
        DWORD got = 0;
        if (::WinHttpReadData(request.get(), chunk, want, &got) == 0) {
            return error;
        }
        if (got == 0) {
            break;
        }
        body.append(chunk, got);
        if (std::chrono::steady_clock::now() - started > options_.exchangeTimeout) {
            return error;
        }
    }
    return normaliseAnswer(body);
}

std::string localIpv4Address() {
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer(size);
    auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (::GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST, nullptr,
                               list, &size) != NO_ERROR) {
        return {};
    }
    std::string loopback;
    std::string found;
    for (auto* adapter = list; adapter != nullptr; adapter = adapter->Next) {
        for (auto* a = adapter->FirstUnicastAddress; a != nullptr; a = a->Next) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->Address.lpSockaddr);
            if (in == nullptr || in->sin_family != AF_INET) {
                continue;
            }
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
            if (std::string_view(text).starts_with("127.")) {
                loopback = text;
            } else if (found.empty()) {
                found = text;
            }
        }
    }
    return found.empty() ? loopback : found;
}

}  // namespace quenvara::musicfilter
