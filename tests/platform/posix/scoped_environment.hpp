#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace hotfix::test {

// Sets an environment variable for one scope and puts back what was there, so that a test's locale does
// not leak into the next.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value)
        : m_name(name) {
        if (const char* saved = std::getenv(name); saved != nullptr) {
            m_saved = saved;
        }
        ::setenv(name, value, 1);
    }
    ~ScopedEnvironment() {
        if (m_saved) {
            ::setenv(m_name.c_str(), m_saved->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_saved;
};

} // namespace hotfix::test
