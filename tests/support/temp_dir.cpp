#include "temp_dir.hpp"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace hotfix::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    // Tells this test process from others that run at the same time.
    static const unsigned processTag = std::random_device{}();
    do {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        m_path = fs::temp_directory_path() / ("hotfix-test-" + std::to_string(processTag) + "-" +
                                              std::to_string(stamp) + "-" + std::to_string(counter++));
    } while (!fs::create_directory(m_path));
}

namespace {

// Read-only files and folders left by a test must not stop a clean-up.
void makeWritable(const fs::path& folder) {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::end(it);
         it.increment(error)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
}

} // namespace

TempDir::~TempDir() {
    makeWritable(m_path);
    std::error_code error;
    fs::remove_all(m_path, error);
}

fs::path TempDir::write(std::string_view relative, std::string_view content) const {
    const fs::path target = m_path / utf8Path(relative);
    fs::create_directories(target.parent_path());
    writeFile(target, content);
    return target;
}

std::string TempDir::read(std::string_view relative) const {
    return readFile(m_path / utf8Path(relative));
}

bool TempDir::exists(std::string_view relative) const {
    return fs::exists(m_path / utf8Path(relative));
}

void writeFile(const fs::path& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::map<std::string, std::string> filesBelow(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            out[fs::relative(entry.path(), folder).generic_string()] = readFile(entry.path());
        }
    }
    return out;
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

void removeTree(const fs::path& path) {
    makeWritable(path);
    fs::remove_all(path);
}

bool canMakeFilesUnreadable() {
#ifdef _WIN32
    return false;
#else
    return ::geteuid() != 0;
#endif
}

} // namespace hotfix::test
