#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace hotfix::test {

// Runs a program to its end; its exit code, or nothing when it did not start or did not end in time.
std::optional<unsigned long> runAndWait(const std::wstring& program, const std::wstring& arguments,
                                        std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Windows' own reg.exe (Wine's under Wine) with the arguments; true when it succeeded.
bool reg(const std::wstring& arguments);

std::wstring systemFolder();
// The folder of the running test executable, where the fixtures are built.
std::filesystem::path executableFolder();

// Polls until the condition holds; false when the time ran out first.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(30));

// The path for Windows' file calls: "\\?\" before it, as a path of any length then works.
std::wstring longForm(const std::filesystem::path& path);

} // namespace hotfix::test
