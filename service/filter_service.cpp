#include "service/filter_service.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdio>

namespace quenvara::service {
namespace {

constexpr std::size_t kMaxHeader = 64 * 1024;
constexpr std::size_t kMaxBody = 1024 * 1024;

const char* reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

}  // namespace

struct FilterService::Tls {
    SSL_CTX* ctx = nullptr;
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    ~Tls() {
        SSL_CTX_free(ctx);
        X509_free(cert);
        EVP_PKEY_free(key);
    }
};

FilterService::FilterService(std::filesystem::path dir, std::string address)
    : dir_(std::move(dir)), address_(std::move(address)) {
    defaults_["/P2P/quenvaraSearch01.jsp"] = {200, "100<br>00"};  // not known yet
    defaults_["/P2P/quenvaraSearch02.jsp"] = {200, "000"};
}

FilterService::~FilterService() {
    stop();
}

std::string FilterService::baseUrl() const {
    return "https://" + address_ + ":" + std::to_string(port_);
}

bool FilterService::start(std::string& error) {
    std::filesystem::create_directories(dir_);
    tls_ = std::make_unique<Tls>();
    // A self-signed certificate for the listen address and localhost.
    tls_->key = EVP_EC_gen("P-256");
    tls_->cert = X509_new();
    if (tls_->key == nullptr || tls_->cert == nullptr) {
        error = "cannot make a key";
        return false;
    }
    X509* x = tls_->cert;
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 7L * 24 * 3600);
    X509_set_pubkey(x, tls_->key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(x, name);
    X509V3_CTX v3;
    X509V3_set_ctx(&v3, x, x, nullptr, nullptr, 0);
    const std::string san = "DNS:localhost,IP:" + address_;
    for (const auto& [nid, value] : std::vector<std::pair<int, std::string>>{
             {NID_subject_alt_name, san},
             {NID_basic_constraints, "critical,CA:TRUE"},
             {NID_key_usage, "digitalSignature,keyCertSign"}}) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value.c_str());
        if (ext == nullptr) {
            error = "cannot make the certificate";
            return false;
        }
        X509_add_ext(x, ext, -1);
        X509_EXTENSION_free(ext);
    }
    if (X509_sign(x, tls_->key, EVP_sha256()) == 0) {
        error = "cannot sign the certificate";
        return false;
    }
    if (FILE* f = std::fopen(caFile().c_str(), "w")) {
        PEM_write_X509(f, x);
        std::fclose(f);
    }
    tls_->ctx = SSL_CTX_new(TLS_server_method());
    if (tls_->ctx == nullptr || SSL_CTX_use_certificate(tls_->ctx, x) != 1 ||
        SSL_CTX_use_PrivateKey(tls_->ctx, tls_->key) != 1) {
        error = "cannot set up TLS";
        return false;
    }
    auto l = platform::TcpListener::listen(address_, 0);
    if (!l) {
        error = l.error();
        return false;
    }
    listener_ = std::make_unique<platform::TcpListener>(std::move(*l));
    port_ = listener_->port();
    // For scripts: the address to put into QUENVARA_FILTER_URL.
    if (FILE* f = std::fopen((dir_ / "url").c_str(), "w")) {
        std::fprintf(f, "%s\n", baseUrl().c_str());
        std::fclose(f);
    }
    thread_ = std::thread([this] { serve(); });
    return true;
}

void FilterService::stop() {
    if (stopping_.exchange(true)) {
        return;
    }
    if (listener_) {
        listener_->interrupt();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

void FilterService::script(const std::string& page, const std::string& key,
                           std::vector<Answer> answers) {
    std::lock_guard lock(mutex_);
    scripts_[page + "|" + key] = std::move(answers);
}

void FilterService::setDefault(const std::string& page, Answer answer) {
    std::lock_guard lock(mutex_);
    defaults_[page] = std::move(answer);
}

std::vector<FilterService::Received> FilterService::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void FilterService::serve() {
    while (!stopping_) {
        auto accepted = listener_->accept();
        if (!accepted) {
            return;
        }
        handle(**accepted);
    }
}

FilterService::Answer FilterService::answerFor(const Received& request) {
    std::lock_guard lock(mutex_);
    received_.push_back(request);
    const auto key = request.fields.contains("sh") ? request.fields.at("sh") : "";
    auto it = scripts_.find(request.page + "|" + key);
    if (it != scripts_.end() && !it->second.empty()) {
        Answer a = it->second.front();
        if (it->second.size() > 1) {
            it->second.erase(it->second.begin());
        }
        return a;
    }
    auto d = defaults_.find(request.page);
    return d != defaults_.end() ? d->second : Answer{404, "not found"};
}

void FilterService::handle(platform::TcpConnection& conn) {
    SSL* ssl = SSL_new(tls_->ctx);
    SSL_set_fd(ssl, conn.nativeHandle());
    if (SSL_accept(ssl) != 1) {
        SSL_free(ssl);
        return;
    }
    std::string data;
    char buf[4096];
    std::size_t headerEnd = std::string::npos;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos && data.size() < kMaxHeader) {
        const int n = SSL_read(ssl, buf, sizeof buf);
        if (n <= 0) {
            SSL_free(ssl);
            return;
        }
        data.append(buf, static_cast<std::size_t>(n));
    }
    if (headerEnd == std::string::npos) {
        SSL_free(ssl);
        return;
    }
    const std::string head = data.substr(0, headerEnd);
    std::size_t length = 0;
    Received request;
    for (std::size_t at = 0; at < head.size();) {
        const auto eol = head.find("\r\n", at);
        const std::string line = head.substr(at, eol == std::string::npos ? eol : eol - at);
        if (at > 0) {
            request.headers.push_back(line);
        }
        if (line.size() > 15 &&
            (line.rfind("Content-Length:", 0) == 0 || line.rfind("content-length:", 0) == 0)) {
            length = std::min<std::size_t>(std::strtoull(line.c_str() + 15, nullptr, 10), kMaxBody);
        }
        if (eol == std::string::npos) {
            break;
        }
        at = eol + 2;
    }
    std::string body = data.substr(headerEnd + 4);
    while (body.size() < length) {
        const int n = SSL_read(ssl, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        body.append(buf, static_cast<std::size_t>(n));
    }
    const auto firstSpace = head.find(' ');
    const auto secondSpace = head.find(' ', firstSpace + 1);
    if (firstSpace != std::string::npos && secondSpace != std::string::npos) {
        request.page = head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    }
    request.form = body.substr(0, length);
    for (std::size_t at = 0; at <= request.form.size();) {
        const auto amp = request.form.find('&', at);
        const std::string pair =
            request.form.substr(at, amp == std::string::npos ? std::string::npos : amp - at);
        const auto eq = pair.find('=');
        if (eq != std::string::npos) {
            request.fields[pair.substr(0, eq)] = pair.substr(eq + 1);
        }
        if (amp == std::string::npos) {
            break;
        }
        at = amp + 1;
    }
    const Answer answer = answerFor(request);
    const std::string response =
        "HTTP/1.1 " + std::to_string(answer.status) + " " + reason(answer.status) +
        "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(answer.body.size()) +
        "\r\nConnection: close\r\n\r\n" + answer.body;
    SSL_write(ssl, response.data(), static_cast<int>(response.size()));
    SSL_shutdown(ssl);
    SSL_free(ssl);
}

}  // namespace quenvara::service
