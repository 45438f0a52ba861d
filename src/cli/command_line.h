// kavuro-list's command line: what it asks for, or why it cannot be read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "export/list_writer.h"

namespace kavuro::cli {

struct Options {
    std::optional<ListFormat> format;  // -f; without it the output's extension, then txt
    std::string outputPath;            // -o; empty for standard output
    std::string host;                  // --host, HOST[:PORT]
    std::vector<std::string> numbers;  // empty: read them from standard input
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine {
    Options options;
    std::string error;  // one line, when the command line cannot be used
};

ParsedCommandLine ParseCommandLine(int argc, char** argv);

// The format to write: -f, else the output file's extension, else txt.
ListFormat ChosenFormat(const Options& options);

// The text --help prints.
std::string HelpText();

}  // namespace kavuro::cli
