#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp.h"

// The filter service over HTTPS, for tests and the demo: a self-signed
// certificate made at start, the key-query and registration pages, answers
// scripted per content key, and a record of every form received.
namespace quenvara::service {

class FilterService {
  public:
    struct Answer {
        int status = 200;
        std::string body;
    };
    struct Received {
        std::string page;
        std::string form;
        std::map<std::string, std::string> fields;  // as sent, not decoded
        std::vector<std::string> headers;           // the request's header lines
    };

    // The certificate (also the CA file for clients) is written into `dir`.
    explicit FilterService(std::filesystem::path dir, std::string address = "127.0.0.1");
    ~FilterService();

    bool start(std::string& error);
    void stop();
    int port() const { return port_; }
    std::string baseUrl() const;
    std::filesystem::path caFile() const { return dir_ / "filter-cert.pem"; }

    // Answers for a key on a page, in turn; the last one repeats.
    void script(const std::string& page, const std::string& key, std::vector<Answer> answers);
    // For keys without a script.
    void setDefault(const std::string& page, Answer answer);
    std::vector<Received> received() const;

  private:
    void serve();
    void handle(platform::TcpConnection& conn);
    Answer answerFor(const Received& request);

    std::filesystem::path dir_;
    std::string address_;
    int port_ = 0;
    std::unique_ptr<platform::TcpListener> listener_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    struct Tls;
    std::unique_ptr<Tls> tls_;
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<Answer>> scripts_;  // page + "|" + key
    std::map<std::string, Answer> defaults_;
    std::vector<Received> received_;
};

}  // namespace quenvara::service
