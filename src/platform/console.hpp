#pragma once

#include <string>
#include <vector>

namespace hotfix {

// The program's arguments after its name, in UTF-8, whatever the platform's own code page.
std::vector<std::string> programArguments(int argc, char** argv);

// A program built for the windowed subsystem has no console of its own: started from a console, its
// standard output and error are made to show there. Where they are redirected already, or there is no
// console, nothing changes.
void useParentConsole();

// Whether standard error is a terminal a person watches (so that progress may be shown there).
bool errorStreamIsTerminal();

} // namespace hotfix
