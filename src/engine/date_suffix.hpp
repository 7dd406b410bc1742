#pragma once

#include <string>

namespace hotfix {

struct LocalDateTime {
    int year = 2005;
    int month = 1; // 1 to 12
    int day = 1;   // 1 to 31
    int hour = 0;  // 0 to 23
    int minute = 0;
};

// "-" year "." month "." day "." hour "." minute, without leading zeros: -2005.5.1.9.7
std::string dateSuffix(const LocalDateTime& when);

} // namespace hotfix
