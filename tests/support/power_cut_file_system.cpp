#include "support/power_cut_file_system.hpp"

namespace hotfix::test {

namespace {

constexpr std::uint32_t kReadOnly = 1;

// What a change that the disk in memory cannot make says.
FileError refusal() {
    return {0, "the disk in memory could not do it", false};
}

FileResult doneIf(bool done) {
    return done ? FileResult() : FileResult(refusal());
}

// Separators made single "\", none at the end.
std::string normalized(std::string_view path) {
    std::string out;
    for (const char c : path) {
        const bool separator = c == '\\' || c == '/';
        if (separator && (out.empty() || out.back() == '\\')) {
            continue;
        }
        out += separator ? '\\' : c;
    }
    while (!out.empty() && out.back() == '\\') {
        out.pop_back();
    }
    return out;
}

} // namespace

PowerCutFileSystem::Place PowerCutFileSystem::placeOf(std::string_view path) {
    const std::string whole = normalized(path);
    const std::size_t slash = whole.rfind('\\');
    if (slash == std::string::npos) {
        return {"", whole};
    }
    return {whole.substr(0, slash), whole.substr(slash + 1)};
}

void PowerCutFileSystem::step(std::string_view operation) {
    ++m_operations;
    if (before) {
        before(operation);
    }
}

std::optional<std::size_t> PowerCutFileSystem::idAt(const Place& place) const {
    const auto folder = m_folders.find(place.folder);
    if (folder == m_folders.end()) {
        return std::nullopt;
    }
    const auto name = folder->second.names.find(place.name);
    return name == folder->second.names.end() ? std::nullopt : std::optional(name->second);
}

PowerCutFileSystem::File* PowerCutFileSystem::fileAt(const Place& place) {
    const auto id = idAt(place);
    return id ? &m_files[*id] : nullptr;
}

std::size_t PowerCutFileSystem::newFile(std::string bytes, std::uint32_t marks) {
    m_files.push_back({{std::move(bytes), marks}, std::nullopt});
    return m_files.size() - 1;
}

void PowerCutFileSystem::makeFolders(const std::string& folder) {
    std::size_t end = 0;
    while (end != std::string::npos) {
        end = folder.find('\\', end + 1);
        m_folders.try_emplace(folder.substr(0, end));
    }
}

void PowerCutFileSystem::put(std::string_view path, std::string_view content, std::uint32_t marks) {
    const Place place = placeOf(path);
    makeFolders(place.folder);
    const std::size_t id = newFile(std::string(content), marks);
    m_files[id].durable = m_files[id].now;
    Folder& folder = m_folders[place.folder];
    folder.names[place.name] = id;
    folder.durable[place.name] = id;
}

PowerCutFileSystem PowerCutFileSystem::afterPowerCut(Survival survival) const {
    PowerCutFileSystem kept;
    // The same files, so that two names of one file stay one file; bytes that never reached the disk leave
    // an empty file behind a name that did.
    for (const File& file : m_files) {
        const Content content = file.durable.value_or(Content{{}, file.now.marks});
        kept.m_files.push_back({content, content});
    }
    for (const auto& [path, folder] : m_folders) {
        Folder& survived = kept.m_folders[path];
        if (survival == Survival::NamesAhead) {
            survived.names = folder.names;
        } else {
            for (const auto& [name, id] : folder.durable) {
                if (id) {
                    survived.names[name] = *id;
                }
            }
        }
        for (const auto& [name, id] : survived.names) {
            survived.durable[name] = id;
        }
    }
    return kept;
}

std::map<std::string, std::string> PowerCutFileSystem::files() const {
    std::map<std::string, std::string> out;
    for (const auto& [path, folder] : m_folders) {
        for (const auto& [name, id] : folder.names) {
            out[path + "\\" + name] = m_files[id].now.bytes;
        }
    }
    return out;
}

bool PowerCutFileSystem::fileExists(std::string_view path) {
    step("fileExists");
    return idAt(placeOf(path)).has_value();
}

bool PowerCutFileSystem::folderExists(std::string_view path) {
    step("folderExists");
    return m_folders.contains(normalized(path));
}

bool PowerCutFileSystem::sameFile(std::string_view first, std::string_view second) {
    step("sameFile");
    const auto a = idAt(placeOf(first));
    return a && a == idAt(placeOf(second));
}

std::optional<FileAttributes> PowerCutFileSystem::attributes(std::string_view path) {
    step("attributes");
    if (const File* file = fileAt(placeOf(path))) {
        return FileAttributes{file->now.marks};
    }
    return m_folders.contains(normalized(path)) ? std::optional(FileAttributes{0x10}) : std::nullopt;
}

FileResult PowerCutFileSystem::setAttributes(std::string_view path, FileAttributes attributes) {
    step("setAttributes");
    File* file = fileAt(placeOf(path));
    if (file != nullptr) {
        file->now.marks = attributes.bits;
    }
    return doneIf(file != nullptr);
}

FileResult PowerCutFileSystem::clearAttributes(std::string_view path) {
    step("clearAttributes");
    File* file = fileAt(placeOf(path));
    if (file != nullptr) {
        file->now.marks &= ~kReadOnly;
    }
    return doneIf(file != nullptr);
}

FileResult PowerCutFileSystem::copyFileToNew(std::string_view from, std::string_view to) {
    step("copyFileToNew");
    const File* source = fileAt(placeOf(from));
    const Place target = placeOf(to);
    if (source == nullptr || !m_folders.contains(target.folder) || idAt(target)) {
        return refusal();
    }
    const Content content = source->now;
    m_folders[target.folder].names[target.name] = newFile(content.bytes, content.marks);
    return {};
}

FileSystem::LinkResult PowerCutFileSystem::linkFile(std::string_view existing, std::string_view newName) {
    step("linkFile");
    const auto id = idAt(placeOf(existing));
    const Place target = placeOf(newName);
    if (!id || !m_folders.contains(target.folder) || idAt(target)) {
        return {LinkOutcome::Failed, refusal()};
    }
    m_folders[target.folder].names[target.name] = *id;
    return {};
}

FileResult PowerCutFileSystem::moveFile(std::string_view from, std::string_view to, Overwrite overwrite) {
    step(overwrite == Overwrite::Never ? "moveFile" : "moveFileOver");
    const Place source = placeOf(from);
    const Place target = placeOf(to);
    const auto id = idAt(source);
    if (!id || !m_folders.contains(target.folder) || (overwrite == Overwrite::Never && idAt(target))) {
        return refusal();
    }
    m_folders[source.folder].names.erase(source.name);
    m_folders[target.folder].names[target.name] = *id;
    return {};
}

FileResult PowerCutFileSystem::flush(std::span<const std::string> paths) {
    step("flush");
    return makeDurable(paths, Durable::BytesAndNames);
}

// Only the folders' names: a file whose bytes were never flushed keeps none on the disk.
FileResult PowerCutFileSystem::flushNames(std::span<const std::string> paths) {
    step("flushNames");
    return makeDurable(paths, Durable::Names);
}

FileResult PowerCutFileSystem::makeDurable(std::span<const std::string> paths, Durable what) {
    for (const std::string& path : paths) {
        const Place place = placeOf(path);
        const auto folder = m_folders.find(place.folder);
        if (folder == m_folders.end()) {
            return refusal();
        }
        if (const auto id = idAt(place); id && what == Durable::BytesAndNames) {
            m_files[*id].durable = m_files[*id].now;
        }
        // The folder as it stands now: names added, renamed and removed alike.
        auto& durable = folder->second.durable;
        for (auto& [name, id] : durable) {
            id.reset();
        }
        for (const auto& [name, id] : folder->second.names) {
            durable[name] = id;
        }
    }
    return {};
}

FileResult PowerCutFileSystem::deleteFile(std::string_view path) {
    step("deleteFile");
    const Place place = placeOf(path);
    const File* file = fileAt(place);
    // As Windows: a read-only file stays until its mark is lifted.
    if (file == nullptr || (file->now.marks & kReadOnly) != 0) {
        return refusal();
    }
    m_folders[place.folder].names.erase(place.name);
    return {};
}

FileResult PowerCutFileSystem::removeName(std::string_view path) {
    step("removeName");
    const Place place = placeOf(path);
    return doneIf(idAt(place) && m_folders[place.folder].names.erase(place.name) == 1);
}

FileResult PowerCutFileSystem::createTextFile(std::string_view path) {
    step("createTextFile");
    const Place place = placeOf(path);
    if (!m_folders.contains(place.folder) || idAt(place)) {
        return refusal();
    }
    m_folders[place.folder].names[place.name] = newFile({}, 0);
    return {};
}

FileResult PowerCutFileSystem::appendToFile(std::string_view path, std::string_view bytes) {
    step("appendToFile");
    File* file = fileAt(placeOf(path));
    if (file == nullptr) {
        return refusal();
    }
    file->now.bytes += bytes;
    return {};
}

bool PowerCutFileSystem::readFile(std::string_view path,
                                  const std::function<void(std::span<const char>)>& sink) {
    step("readFile");
    const File* file = fileAt(placeOf(path));
    if (file == nullptr) {
        return false;
    }
    sink(std::span<const char>(file->now.bytes.data(), file->now.bytes.size()));
    return true;
}

FileResult PowerCutFileSystem::createFolders(std::string_view path) {
    step("createFolders");
    makeFolders(normalized(path));
    return {};
}

FileResult PowerCutFileSystem::appendDurably(std::string_view path, std::string_view bytes) {
    step("appendDurably");
    const Place place = placeOf(path);
    if (!m_folders.contains(place.folder)) {
        return refusal();
    }
    Folder& folder = m_folders[place.folder];
    auto named = folder.names.find(place.name);
    if (named == folder.names.end()) {
        named = folder.names.emplace(place.name, newFile({}, 0)).first;
        // The file is made before its bytes go: the power may go in between, as it may between the two.
        step("appendDurably, file made");
    }
    File& file = m_files[named->second];
    // What a cut-off append left after the last line break goes first.
    const std::size_t lineEnd = file.now.bytes.rfind('\n');
    file.now.bytes.resize(lineEnd == std::string::npos ? 0 : lineEnd + 1);
    file.now.bytes += bytes;
    file.durable = file.now;
    folder.durable[place.name] = named->second;
    return {};
}

std::optional<std::string> PowerCutFileSystem::identity(std::string_view path) {
    step("identity");
    const auto id = idAt(placeOf(path));
    return id ? std::optional(std::to_string(*id)) : std::nullopt;
}

FileSystem::Privacy PowerCutFileSystem::makePrivateFolder(std::string_view path) {
    step("makePrivateFolder");
    const Place place = placeOf(path);
    if (!m_folders.contains(place.folder)) {
        return Privacy::Missing;
    }
    makeFolders(normalized(path));
    return Privacy::Private;
}

FileSystem::Privacy PowerCutFileSystem::privacy(std::string_view path) {
    step("privacy");
    return idAt(placeOf(path)) || m_folders.contains(normalized(path)) ? Privacy::Private : Privacy::Missing;
}

} // namespace hotfix::test
