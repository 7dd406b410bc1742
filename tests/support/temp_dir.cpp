#include "temp_dir.hpp"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace hotfix::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    m_path = fs::temp_directory_path() / ("hotfix-test-" + std::to_string(::getpid()) + "-" +
                                          std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(m_path);
}

TempDir::~TempDir() {
    std::error_code error;
    // Read-only files and folders left by a test must not stop the clean-up.
    for (auto it = fs::recursive_directory_iterator(m_path, error); !error && it != fs::end(it);
         it.increment(error)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(m_path, error);
}

fs::path TempDir::write(std::string_view relative, std::string_view content) const {
    const fs::path target = m_path / fs::path(relative);
    fs::create_directories(target.parent_path());
    writeFile(target, content);
    return target;
}

std::string TempDir::read(std::string_view relative) const {
    return readFile(m_path / fs::path(relative));
}

bool TempDir::exists(std::string_view relative) const {
    return fs::exists(m_path / fs::path(relative));
}

void writeFile(const fs::path& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace hotfix::test
