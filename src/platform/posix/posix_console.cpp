#include "platform/console.hpp"

#include <unistd.h>

namespace hotfix {

std::vector<std::string> programArguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void useParentConsole() {}

bool errorStreamIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace hotfix
