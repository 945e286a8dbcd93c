// quenvara-service: the reference service (command server, data servers)
// on loopback, for the demo and for tests. Runs until SIGINT or SIGTERM.
#include <getopt.h>
#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "service/filter_service.h"
#include "service/reference_service.h"

namespace {

void usage(std::ostream& out) {
    out << "usage: quenvara-service (--storage DIR | --discard) [options]\n"
           "  --discard                 take file data and store nothing (still counted and\n"
           "                            answered as usual), to measure the uploader alone\n"
           "  --address ADDR            listen address (default 127.0.0.1)\n"
           "  --port N                  command server port (default: any free port)\n"
           "  --port-file FILE          write the command server port into FILE\n"
           "faults:\n"
           "  --drop-after N            drop the data connection after N bytes of each file, once\n"
           "  --already-connected-once  answer the first upload with 506\n"
           "  --same-name NAME          ask the same-name question (509) for NAME\n"
           "  --disconnect-once         send 514 once\n"
           "  --register-error N        refuse every record with 517 / 2005 and number N\n"
           "  --error-text TEXT         answer uploads with the error form and TEXT\n"
           "  --negative-offset-once    report a resume offset of -1 once\n"
           "  --unknown-packet N        send packet number N once\n"
           "  --refuse-seconds N        do not listen for N seconds (needs --port)\n"
           "  --drop-name NAME          with --drop-after: break only the file NAME\n"
           "  --error-form-after-break  answer the first upload after a break with the error form\n"
           "  --header-only-poll        poll with a header-only 505 (count 1, size -1) before\n"
           "                            every request for a record\n"
           "  --after-data LIST         send these packets after a file's last byte, once per\n"
           "                            file, e.g. 505,508,203 (505, 508, 203 or 514)\n"
           "  --silent-after-start      take 512 and say nothing more\n"
           "  --rate BYTES              take file data at most this fast (bytes a second), so\n"
           "                            that progress can be watched\n"
           "  --cut NAME:BYTE[:fin]     cut the data of file NAME once at BYTE: a reset, or with\n"
           "                            :fin a close in order that confirms nothing\n"
           "  --close-unconfirmed NAME  store file NAME whole, then close without confirming\n"
           "  --close-after-error-form  answer the uploader's 5 after the error form with 5\n"
           "  --poll-during-data N      send 505 after N bytes of each file's data, once\n"
           "  --confirm-delay MS        wait MS before confirming a file, once\n"
           "  --offset-beyond-end NAME  report one byte more than file NAME has, once\n"
           "  --register-error-once     with --register-error: refuse the first record only\n"
           "filter service:\n"
           "  --filter DIR              also serve the filter service over HTTPS; its\n"
           "                            self-signed certificate goes into DIR\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quenvara::service;
    ReferenceService::Options options;
    std::string portFile;
    std::string filterDir;
    enum {
        kAddress = 1,
        kPort,
        kPortFile,
        kStorage,
        kDrop,
        kAlready,
        kSame,
        kDisconnect,
        kRegister,
        kError,
        kNegative,
        kUnknown,
        kRefuse,
        kFilter,
        kDropName,
        kErrorAfterBreak,
        kHeaderOnlyPoll,
        kAfterData,
        kSilent,
        kRate,
        kDiscard,
        kCut,
        kCloseUnconfirmed,
        kCloseAfterErrorForm,
        kPollDuringData,
        kConfirmDelay,
        kOffsetBeyondEnd,
        kRegisterErrorOnce,
        kHelp
    };
    const option longOptions[] = {
        {"address", required_argument, nullptr, kAddress},
        {"port", required_argument, nullptr, kPort},
        {"port-file", required_argument, nullptr, kPortFile},
        {"storage", required_argument, nullptr, kStorage},
        {"drop-after", required_argument, nullptr, kDrop},
        {"already-connected-once", no_argument, nullptr, kAlready},
        {"same-name", required_argument, nullptr, kSame},
        {"disconnect-once", no_argument, nullptr, kDisconnect},
        {"register-error", required_argument, nullptr, kRegister},
        {"error-text", required_argument, nullptr, kError},
        {"negative-offset-once", no_argument, nullptr, kNegative},
        {"unknown-packet", required_argument, nullptr, kUnknown},
        {"refuse-seconds", required_argument, nullptr, kRefuse},
        {"filter", required_argument, nullptr, kFilter},
        {"drop-name", required_argument, nullptr, kDropName},
        {"error-form-after-break", no_argument, nullptr, kErrorAfterBreak},
        {"header-only-poll", no_argument, nullptr, kHeaderOnlyPoll},
        {"after-data", required_argument, nullptr, kAfterData},
        {"silent-after-start", no_argument, nullptr, kSilent},
        {"rate", required_argument, nullptr, kRate},
        {"discard", no_argument, nullptr, kDiscard},
        {"cut", required_argument, nullptr, kCut},
        {"close-unconfirmed", required_argument, nullptr, kCloseUnconfirmed},
        {"close-after-error-form", no_argument, nullptr, kCloseAfterErrorForm},
        {"poll-during-data", required_argument, nullptr, kPollDuringData},
        {"confirm-delay", required_argument, nullptr, kConfirmDelay},
        {"offset-beyond-end", required_argument, nullptr, kOffsetBeyondEnd},
        {"register-error-once", no_argument, nullptr, kRegisterErrorOnce},
        {"help", no_argument, nullptr, kHelp},
        {nullptr, 0, nullptr, 0},
    };
    for (int opt; (opt = getopt_long(argc, argv, "", longOptions, nullptr)) != -1;) {
        switch (opt) {
            case kAddress:
                options.address = optarg;
                break;
            case kPort:
                options.commandPort = std::atoi(optarg);
                break;
            case kPortFile:
                portFile = optarg;
                break;
            case kStorage:
                options.storage = optarg;
                break;
            case kDrop:
                options.faults.dropAfterBytes = std::strtoull(optarg, nullptr, 10);
                break;
            case kAlready:
                options.faults.alreadyConnectedOnce = true;
                break;
            case kSame:
                options.faults.sameName = optarg;
                break;
            case kDisconnect:
                options.faults.disconnectOnce = true;
                break;
            case kRegister:
                options.faults.registerError = std::atoi(optarg);
                break;
            case kError:
                options.faults.errorText = optarg;
                break;
            case kNegative:
                options.faults.negativeOffsetOnce = true;
                break;
            case kUnknown:
                options.faults.unknownPacket = std::atoi(optarg);
                break;
            case kDropName:
                options.faults.dropName = optarg;
                break;
            case kErrorAfterBreak:
                options.faults.errorFormAfterBreak = true;
                break;
            case kHeaderOnlyPoll:
                options.faults.headerOnlyPoll = true;
                break;
            case kAfterData: {
                std::stringstream list(optarg);
                for (std::string item; std::getline(list, item, ',');) {
                    const int number = std::atoi(item.c_str());
                    if (number != 505 && number != 508 && number != 203 && number != 514) {
                        std::cerr << "--after-data takes 505, 508, 203 or 514, not " << item
                                  << "\n";
                        return 2;
                    }
                    options.faults.afterData.push_back(number);
                }
                break;
            }
            case kRate:
                options.faults.bytesPerSecond = std::strtoull(optarg, nullptr, 10);
                break;
            case kSilent:
                options.faults.silentAfterStart = true;
                break;
            case kDiscard:
                options.discard = true;
                break;
            case kCut: {
                // NAME:BYTE or NAME:BYTE:fin; the name may hold colons.
                std::string text = optarg;
                Faults::Cut cut;
                if (text.ends_with(":fin")) {
                    cut.orderly = true;
                    text.resize(text.size() - 4);
                }
                const auto colon = text.rfind(':');
                char* end = nullptr;
                const auto at = colon == std::string::npos
                                    ? 0
                                    : std::strtoull(text.c_str() + colon + 1, &end, 10);
                if (colon == std::string::npos || colon == 0 || end == nullptr || *end != '\0' ||
                    at == 0) {
                    std::cerr << "--cut takes NAME:BYTE or NAME:BYTE:fin with BYTE above 0, not "
                              << optarg << "\n";
                    return 2;
                }
                cut.name = text.substr(0, colon);
                cut.at = at;
                options.faults.cuts.push_back(cut);
                break;
            }
            case kCloseUnconfirmed:
                options.faults.closeUnconfirmed.insert(optarg);
                break;
            case kCloseAfterErrorForm:
                options.faults.closeAfterErrorForm = true;
                break;
            case kPollDuringData:
                options.faults.pollDuringData = std::strtoull(optarg, nullptr, 10);
                break;
            case kConfirmDelay:
                options.faults.confirmDelay = std::chrono::milliseconds(std::atoll(optarg));
                break;
            case kOffsetBeyondEnd:
                options.faults.offsetBeyondEndName = optarg;
                break;
            case kRegisterErrorOnce:
                options.faults.registerErrorOnce = true;
                break;
            case kRefuse:
                options.faults.refuseSeconds = std::atoi(optarg);
                break;
            case kFilter:
                filterDir = optarg;
                break;
            case kHelp:
                usage(std::cout);
                return 0;
            default:
                usage(std::cerr);
                return 2;
        }
    }
    if (options.discard && options.storage.empty()) {
        options.storage = std::filesystem::temp_directory_path() / "quenvara-service-discard";
    }
    if (options.storage.empty() || optind != argc) {
        usage(std::cerr);
        return 2;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    ReferenceService service(options);
    std::string error;
    if (!service.start(error)) {
        std::cerr << "quenvara-service: " << error << "\n";
        return 1;
    }
    if (!portFile.empty()) {
        std::ofstream(portFile) << service.commandPort() << "\n";
    }
    std::cout << "quenvara-service: command server " << options.address << ":"
              << service.commandPort() << ", storage " << options.storage.string() << std::endl;
    std::unique_ptr<FilterService> filter;
    if (!filterDir.empty()) {
        filter = std::make_unique<FilterService>(filterDir, options.address);
        if (!filter->start(error)) {
            std::cerr << "quenvara-service: filter service: " << error << "\n";
            return 1;
        }
        std::cout << "quenvara-service: filter service " << filter->baseUrl()
                  << " (QUENVARA_FILTER_URL), certificate " << filter->caFile().string()
                  << " (QUENVARA_FILTER_CAFILE)" << std::endl;
    }
    int sig = 0;
    sigwait(&stop, &sig);
    if (filter) {
        filter->stop();
        // What the music filter library sent: key queries and fingerprints.
        for (const auto& r : filter->received()) {
            const auto field = [&](const char* name) {
                const auto it = r.fields.find(name);
                return it == r.fields.end() ? std::string() : it->second;
            };
            std::cout << "quenvara-service: filter " << r.page << " sh=" << field("sh")
                      << " upload=" << field("upload") << " user_id=" << field("user_id")
                      << " filename=" << field("filename");
            if (r.fields.contains("dna_count")) {
                std::cout << " bitrate=" << field("bitrate") << " dna_count=" << field("dna_count");
            }
            std::cout << std::endl;
        }
    }
    service.stop();
    std::cout << "quenvara-service: " << service.stored().size() << " files stored" << std::endl;
    return 0;
}
