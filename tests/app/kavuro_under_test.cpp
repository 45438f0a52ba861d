// Kavuro as tests run it: the program itself, with the playlist address prefix taken
// from KAVURO_TEST_ADDRESS_PREFIX and a line-based remote control on standard input
// ("press" presses the button, "close" closes the window). Prints "ready" once the
// window is shown. Never installed: the shipped program reads no environment.
#include <QPushButton>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "app/program.h"

int main() {
    kavuro::ProgramSettings settings;
    if (const char* prefix = std::getenv("KAVURO_TEST_ADDRESS_PREFIX")) {
        settings.addressPrefix = prefix;
    }
    return kavuro::RunProgram(settings, [](kavuro::Program& program) {
        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &program);
        QObject::connect(input, &QSocketNotifier::activated, &program, [&program, input] {
            static std::string pending;
            char buffer[256];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) {
                input->setEnabled(false);
                return;
            }
            pending.append(buffer, static_cast<std::size_t>(got));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                const std::string command = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (program.window() == nullptr) {
                    continue;
                }
                if (command == "press") {
                    program.window()->button()->click();
                } else if (command == "close") {
                    program.window()->close();
                }
            }
        });
        std::puts("ready");
        std::fflush(stdout);
    });
}
