#pragma once

#include <string>

namespace hotfix::bench {

// Asks the shared bench main to print time(measured) / time(baseline) after the run, against a target.
void reportRatio(std::string measured, std::string baseline, double target);

} // namespace hotfix::bench
