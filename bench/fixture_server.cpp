// Serves the fixture answers on 127.0.0.1 for the fetch benchmarks and the peer script:
// the answer for n songs at the service's path with "uin=<n>". Prints one line of JSON,
// {"port": P, "bytes": {"<n>": size, ...}}, then serves until its standard input closes.
#include <cstdio>
#include <iostream>
#include <string>

#include "playlist_fixture.h"
#include "support/loopback_http_server.h"

int main() {
    using namespace kavuro;
    test::LoopbackHttpServer server(test::Status(404));
    std::string sizes;
    for (const std::int32_t count : bench::kSongCounts) {
        test::ScriptedAnswer answer = test::Status(200, bench::FixtureAnswer(count));
        answer.fields.push_back("Content-Type: text/xml; charset=GB2312");
        sizes.append(sizes.empty() ? "\"" : ", \"")
            .append(std::to_string(count))
            .append("\": ")
            .append(std::to_string(answer.body.size()));
        server.SetAnswer(std::string(bench::kFixtureTarget) + std::to_string(count),
                         std::move(answer));
    }
    std::printf("{\"port\": %u, \"bytes\": {%s}}\n", static_cast<unsigned>(server.Port()),
                sizes.c_str());
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
    }
    return 0;
}
