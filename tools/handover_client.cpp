// quenvara-handover: hands a job to a running uploader the way the web-page
// control does (server address, music list, job record), for the demo and
// for tests.
#include <getopt.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "common/cp949.h"
#include "handover_client/job_builder.h"
#include "handover_client/pipe_list_writer.h"
#include "platform/clock.h"
#include "platform/notices.h"
#include "platform/path_text.h"
#include "platform/system_dirs.h"
#include "protocol/list_message.h"

namespace {

using namespace quenvara;

void usage(std::ostream& out) {
    out << "usage: quenvara-handover [options] FILE-OR-FOLDER\n"
           "  --server ADDR       command server address (default 127.0.0.1)\n"
           "  --port N            command server port (default 9000)\n"
           "  --my-storage        hand over to my storage instead of a section\n"
           "  --music FLAGS:NAME  a music list entry, e.g. YY:song.mp3 (repeatable)\n"
           "  --user N            member number\n"
           "  --registrant NAME   registrant (member id)\n"
           "  --section CODE      section code, \"07\" for music\n"
           "  --subsection CODE   sub-section code\n"
           "  --adult FLAG        adult flag\n"
           "  --display TEXT      display name of the item\n"
           "  --pipe-name NAME    uploader pipe name (default quenvaraupload)\n"
           "  --messages FILE     write the messages to FILE instead of handing them over:\n"
           "                      each as its kind and payload length (4 bytes each, little\n"
           "                      endian), then the payload\n";
}

bool parseMusic(const std::string& arg, handover::MusicListEntry& entry) {
    const auto colon = arg.find(':');
    if (colon == std::string::npos || colon > 2) {
        return false;
    }
    auto name = cp949::fromUtf8(arg.substr(colon + 1));
    if (!name) {
        std::cerr << "quenvara-handover: " << name.error() << "\n";
        return false;
    }
    if (!handover::MusicListEntry::fits(*name)) {
        std::cerr << "quenvara-handover: music name " << tooLongText(name->size(), 511) << "\n";
        return false;
    }
    const char checked = colon > 0 ? arg[0] : 'N';
    const char second = colon > 1 ? arg[1] : 'N';
    entry = handover::MusicListEntry(checked, second, *name);
    return true;
}

void putLittleEndian(std::ostream& out, std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                           static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    out.write(bytes, 4);
}

bool writeMessages(const std::filesystem::path& file,
                   const std::vector<handover::ListMessage>& messages) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (const auto& m : messages) {
        putLittleEndian(out, static_cast<std::uint32_t>(m.kind));
        putLittleEndian(out, static_cast<std::uint32_t>(m.payload.size()));
        out.write(reinterpret_cast<const char*>(m.payload.data()),
                  static_cast<std::streamsize>(m.payload.size()));
    }
    out.close();
    if (!out) {
        std::cerr << "quenvara-handover: cannot write " << platform::utf8Text(file) << "\n";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string server = "127.0.0.1";
    int port = 9000;
    bool myStorage = false;
    std::string pipeName =
        std::string(handover::kDefaultPipeName) + std::string(platform::executableSuffix());
    std::vector<handover::MusicListEntry> music;
    tools::PageValues values;
    std::optional<std::filesystem::path> messagesFile;

    enum {
        kServer = 1,
        kPort,
        kMyStorage,
        kMusic,
        kUser,
        kRegistrant,
        kSection,
        kSub,
        kAdult,
        kDisplay,
        kPipe,
        kMessages,
        kHelp,
        kVersion
    };
    const option longOptions[] = {
        {"server", required_argument, nullptr, kServer},
        {"port", required_argument, nullptr, kPort},
        {"my-storage", no_argument, nullptr, kMyStorage},
        {"music", required_argument, nullptr, kMusic},
        {"user", required_argument, nullptr, kUser},
        {"registrant", required_argument, nullptr, kRegistrant},
        {"section", required_argument, nullptr, kSection},
        {"subsection", required_argument, nullptr, kSub},
        {"adult", required_argument, nullptr, kAdult},
        {"display", required_argument, nullptr, kDisplay},
        {"pipe-name", required_argument, nullptr, kPipe},
        {"messages", required_argument, nullptr, kMessages},
        {"help", no_argument, nullptr, kHelp},
        {"version", no_argument, nullptr, kVersion},
        {nullptr, 0, nullptr, 0},
    };
    for (int opt; (opt = getopt_long(argc, argv, "", longOptions, nullptr)) != -1;) {
        switch (opt) {
            case kServer:
                server = optarg;
                if (!handover::ServerAddressPayload::fits(server)) {
                    std::cerr << "quenvara-handover: --server takes at most 15 characters\n";
                    return 2;
                }
                break;
            case kPort:
                port = std::atoi(optarg);
                break;
            case kMyStorage:
                myStorage = true;
                break;
            case kMusic: {
                handover::MusicListEntry entry;
                if (!parseMusic(platform::utf8FromSystemText(optarg), entry)) {
                    std::cerr << "quenvara-handover: --music wants FLAGS:NAME, got \"" << optarg
                              << "\"\n";
                    return 2;
                }
                music.push_back(entry);
                break;
            }
            case kUser:
                values.userNumber = std::atoi(optarg);
                break;
            case kRegistrant:
                values.registrant = platform::utf8FromSystemText(optarg);
                break;
            case kSection:
                values.sectionCode = optarg;
                break;
            case kSub:
                values.subSectionCode = optarg;
                break;
            case kAdult:
                values.adultFlag = optarg;
                break;
            case kDisplay:
                values.displayText = platform::utf8FromSystemText(optarg);
                break;
            case kPipe:
                pipeName = optarg;
                break;
            case kMessages:
                messagesFile = platform::systemTextPath(optarg);
                break;
            case kHelp:
                usage(std::cout);
                return 0;
            case kVersion:
                std::cout << "quenvara-handover " << QUENVARA_VERSION << "\n";
                return 0;
            default:
                usage(std::cerr);
                return 2;
        }
    }
    if (optind + 1 != argc) {
        usage(std::cerr);
        return 2;
    }
    // Texts on the command line come in the system's code page.
    const auto target = platform::systemTextPath(argv[optind]);

    std::vector<handover::ListMessage> messages;
    if (myStorage) {
        auto record = tools::buildMyStorageJob(target, values);
        if (!record) {
            std::cerr << "quenvara-handover: " << record.error() << "\n";
            return 1;
        }
        messages.push_back(
            handover::makeServerAddressMessage(handover::ListMessageKind::MyStorage, server, port));
        messages.push_back(handover::makeMyStorageJobMessage(*record));
    } else {
        auto record = tools::buildUploadJob(target, values);
        if (!record) {
            std::cerr << "quenvara-handover: " << record.error() << "\n";
            return 1;
        }
        messages.push_back(handover::makeServerAddressMessage(
            handover::ListMessageKind::ServerAddress, server, port));
        if (!music.empty()) {
            messages.push_back(handover::makeMusicListMessage(music));
        }
        messages.push_back(handover::makeUploadJobMessage(*record));
    }

    if (messagesFile) {
        return writeMessages(*messagesFile, messages) ? 0 : 1;
    }

    platform::StreamNotices notices(std::cerr);
    platform::SystemClock clock;
    const auto env = platform::processEnvironment();
    handover::PipeListWriter writer(notices, clock, [&env](std::string_view name) {
        return platform::pipeDirectory(env) / std::string(name);
    });
    for (const auto& m : messages) {
        if (!writer.write(pipeName, m)) {
            std::cerr << "quenvara-handover: message of kind " << m.kind
                      << " not delivered: " << writer.lastError() << "\n";
            return 1;
        }
    }
    std::cout << "quenvara-handover: " << messages.size() << " messages delivered\n";
    return 0;
}
