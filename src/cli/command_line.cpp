#include "cli/command_line.h"

#include <getopt.h>

#include <string_view>

#include "playlist/playlist_address.h"

namespace kavuro::cli {
namespace {

enum LongOnly { kHost = 256, kVersion };

// The host goes into the address as it is, so nothing that would end or change the
// address's host part may come with it.
bool IsUsableHost(std::string_view host) {
    if (host.empty()) {
        return false;
    }
    for (const char c : host) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F ||
            std::string_view("/?#@\\").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, char** argv) {
    static const option kLongOptions[] = {
        {"format", required_argument, nullptr, 'f'}, {"output", required_argument, nullptr, 'o'},
        {"host", required_argument, nullptr, kHost}, {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion}, {nullptr, 0, nullptr, 0},
    };
    ParsedCommandLine parsed;
    Options& options = parsed.options;
    options.host = std::string(DefaultPlaylistHost());
    opterr = 0;  // our own one-line messages
    optind = 1;
    int option = 0;
    while ((option = getopt_long(argc, argv, ":f:o:h", kLongOptions, nullptr)) != -1) {
        switch (option) {
            case 'f':
                options.format = FormatFromName(optarg);
                if (!options.format) {
                    parsed.error =
                        "unknown format '" + std::string(optarg) + "' (txt, csv, m3u8 or json)";
                    return parsed;
                }
                break;
            case 'o':
                options.outputPath = optarg;
                if (options.outputPath.empty()) {
                    parsed.error = "-o needs a file name";
                    return parsed;
                }
                break;
            case kHost:
                options.host = optarg;
                if (!IsUsableHost(options.host)) {
                    parsed.error = "unusable host '" + options.host + "' (HOST or HOST:PORT)";
                    return parsed;
                }
                break;
            case 'h':
                options.help = true;
                break;
            case kVersion:
                options.version = true;
                break;
            case ':':
                parsed.error = "option '" + std::string(argv[optind - 1]) + "' needs a value";
                return parsed;
            default:
                parsed.error = "unknown option '" + std::string(argv[optind - 1]) + "'";
                return parsed;
        }
    }
    for (int i = optind; i < argc; ++i) {
        options.numbers.emplace_back(argv[i]);
    }
    return parsed;
}

ListFormat ChosenFormat(const Options& options) {
    if (options.format) {
        return *options.format;
    }
    return FormatFromFileName(options.outputPath).value_or(ListFormat::Txt);
}

std::string HelpText() {
    return "Usage: kavuro-list [-f txt|csv|m3u8|json] [-o FILE] [--host HOST[:PORT]] [NUMBER...]\n"
           "Lists the QQ Zone space playlist of each QQ number, one after the other.\n"
           "Without a NUMBER, the numbers are read from standard input, one a line.\n"
           "\n"
           "  -f, --format FORMAT   txt (one \"name-singer\" line a song), csv, m3u8 or json;\n"
           "                        without it, FILE's extension decides, else txt\n"
           "  -o, --output FILE     write the list to FILE, whole or not at all,\n"
           "                        instead of standard output\n"
           "      --host HOST[:PORT]  the playlist service to ask (default " +
           std::string(DefaultPlaylistHost()) +
           ")\n"
           "  -h, --help            show this help and exit\n"
           "      --version         show the version and exit\n"
           "\n"
           "Each number's closing status goes to standard error, with [i/n] for a batch.\n"
           "Exit status: 0 every number listed (an empty playlist included), 1 a fetch\n"
           "failed (the others are still written), 2 a usage error or an output that\n"
           "cannot be written (nothing written), 130 or 143 interrupted (nothing written).\n";
}

}  // namespace kavuro::cli
