#include "engine/date_suffix.hpp"

namespace hotfix {

std::string dateSuffix(const LocalDateTime& when) {
    std::string suffix(1, '-');
    suffix += std::to_string(when.year);
    for (const int part : {when.month, when.day, when.hour, when.minute}) {
        suffix += '.';
        suffix += std::to_string(part);
    }
    return suffix;
}

} // namespace hotfix
