#include "engine/date_suffix.hpp"

namespace hotfix {

std::string dateSuffix(const LocalDateTime& when) {
    return "-" + std::to_string(when.year) + "." + std::to_string(when.month) + "." +
           std::to_string(when.day) + "." + std::to_string(when.hour) + "." + std::to_string(when.minute);
}

} // namespace hotfix
