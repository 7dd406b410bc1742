#include "platform/posix/system_reg.hpp"

#include "platform/posix/unicode_text.hpp"
#include "platform/text_codec.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <streambuf>
#include <vector>

namespace hotfix::posix {

namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
// Longer lines are cut there: no line Wine writes comes near it, and a garbled file must not fill memory.
constexpr std::size_t kLineLimit = std::size_t{4} << 20;

constexpr std::uint32_t kText = 1;
constexpr std::uint32_t kExpandableText = 2;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kNumber = 4;
constexpr std::uint32_t kTextList = 7;

bool isTextType(std::uint32_t type) {
    return type == kText || type == kExpandableText || type == kTextList;
}

bool isBlankChar(char c) {
    return c == ' ' || c == '\t';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string_view trimmedEnd(std::string_view text) {
    while (!text.empty() && isBlankChar(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool continues(std::string_view line) {
    const std::string_view trimmed = trimmedEnd(line);
    return !trimmed.empty() && trimmed.back() == '\\';
}

// A line that begins something of its own is never the continuation of the line before it.
bool startsEntry(std::string_view line) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return false;
    }
    const char c = line[first];
    return c == '[' || c == '"' || c == '@' || c == '#' || c == ';';
}

class LineSource {
public:
    explicit LineSource(std::istream& in)
        : m_buffer(in.rdbuf())
        , m_chunk(std::size_t{64} * 1024) {}

    bool next(std::string& line) {
        if (m_pending) {
            line = std::move(*m_pending);
            m_pending.reset();
            return true;
        }
        line.clear();
        bool any = false;
        for (;;) {
            if (m_position == m_end && !fill()) {
                break;
            }
            any = true;
            const char* start = m_chunk.data() + m_position;
            const std::size_t available = m_end - m_position;
            const auto* newline = static_cast<const char*>(std::memchr(start, '\n', available));
            const std::size_t length =
                newline != nullptr ? static_cast<std::size_t>(newline - start) : available;
            if (line.size() < kLineLimit) {
                line.append(start, std::min(length, kLineLimit - line.size()));
            }
            m_position += length;
            if (newline != nullptr) {
                ++m_position;
                break;
            }
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return any;
    }

    void pushBack(std::string line) { m_pending = std::move(line); }

private:
    bool fill() {
        if (m_buffer == nullptr) {
            return false;
        }
        const std::streamsize got =
            m_buffer->sgetn(m_chunk.data(), static_cast<std::streamsize>(m_chunk.size()));
        if (got <= 0) {
            m_buffer = nullptr;
            return false;
        }
        m_position = 0;
        m_end = static_cast<std::size_t>(got);
        return true;
    }

    std::streambuf* m_buffer;
    std::vector<char> m_chunk;
    std::size_t m_position = 0;
    std::size_t m_end = 0;
    std::optional<std::string> m_pending;
};

// A text held in memory as a stream buffer, so that LineSource reads it without a copy.
class MemoryBuffer final : public std::streambuf {
public:
    explicit MemoryBuffer(std::string_view text) {
        // The buffer is only ever read from.
        char* begin = const_cast<char*>(text.data()); // NOLINT(cppcoreguidelines-pro-type-const-cast)
        setg(begin, begin, begin + text.size());
    }
};

void skipBlanks(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && isBlankChar(text[pos])) {
        ++pos;
    }
}

// Up to maxDigits hexadecimal digits from text[pos] on, pos moved past them; nothing when none is there.
// Every number of the file is read by it: \x escapes, hex bytes, dword values and type numbers.
std::optional<std::uint32_t> readHexDigits(std::string_view text, std::size_t& pos, int maxDigits) {
    std::uint32_t value = 0;
    int digits = 0;
    for (; digits < maxDigits && pos < text.size(); ++digits, ++pos) {
        const int digit = hexDigit(text[pos]);
        if (digit < 0) {
            break;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return value;
}

// A 32-bit number of one to eight hexadecimal digits; nothing when a ninth follows, which would not fit.
std::optional<std::uint32_t> readHexNumber(std::string_view text, std::size_t& pos) {
    const auto number = readHexDigits(text, pos, 8);
    if (number && pos < text.size() && hexDigit(text[pos]) >= 0) {
        return std::nullopt;
    }
    return number;
}

// The type N of "str(N):" and "hex(N):", from its first digit on; pos ends past the colon.
std::optional<std::uint32_t> readValueType(std::string_view text, std::size_t& pos) {
    const auto type = readHexNumber(text, pos);
    if (!type || !text.substr(pos).starts_with("):")) {
        return std::nullopt;
    }
    pos += 2;
    return type;
}

struct SimpleEscape {
    char name;
    char16_t unit;
};

// The escapes that stand for one control character each.
constexpr std::array<SimpleEscape, 8> kSimpleEscapes = {{
    {'a', 7},
    {'b', 8},
    {'t', 9},
    {'n', 10},
    {'v', 11},
    {'f', 12},
    {'r', 13},
    {'e', 27},
}};

// The escape whose character (after the "\") is line[pos]; pos ends past it.
void readEscape(std::string_view line, std::size_t& pos, std::u16string& units) {
    const char escape = line[pos++];
    const auto* simple = std::find_if(kSimpleEscapes.begin(), kSimpleEscapes.end(),
                                      [escape](const SimpleEscape& entry) { return entry.name == escape; });
    if (simple != kSimpleEscapes.end()) {
        units.push_back(simple->unit);
    } else if (escape == 'x') {
        const auto value = readHexDigits(line, pos, 4);
        units.push_back(value ? static_cast<char16_t>(*value) : u'x');
    } else if (escape >= '0' && escape <= '7') {
        auto value = static_cast<unsigned>(escape - '0');
        for (int digits = 1; digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
             ++digits) {
            value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
        }
        units.push_back(static_cast<char16_t>(value));
    } else if (static_cast<unsigned char>(escape) < 0x80) {
        units.push_back(static_cast<char16_t>(escape));
    } else {
        --pos; // a backslash before a raw non-ASCII byte escapes nothing
    }
}

// A character past ASCII written as it is: UTF-8, or one Windows-1252 byte where the bytes are not UTF-8.
void readRawCharacter(std::string_view line, std::size_t& pos, std::u16string& units) {
    char32_t codePoint = 0;
    std::size_t length = decodeUtf8At(line, pos, codePoint);
    if (length == 0) {
        const std::string asUtf8 = windows1252ToUtf8(line.substr(pos, 1));
        decodeUtf8At(asUtf8, 0, codePoint);
        length = 1;
    }
    appendUtf16(units, codePoint);
    pos += length;
}

// Reads a quoted text whose opening character is before pos, up to the unescaped closing character.
// Wine writes every character past ASCII as a \x escape; raw bytes are read as UTF-8, or as Windows-1252
// where they are not UTF-8.
bool readQuoted(std::string_view line, std::size_t& pos, char closing, std::u16string& units) {
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == closing) {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos == line.size()) {
                return false;
            }
            readEscape(line, pos, units);
        } else if (static_cast<unsigned char>(c) < 0x80) {
            units.push_back(static_cast<char16_t>(c));
            ++pos;
        } else {
            readRawCharacter(line, pos, units);
        }
    }
    return false;
}

void appendLimited(SystemRegValue& value, std::string_view bytes, std::size_t limit) {
    if (value.data.size() < limit) {
        value.data.append(bytes.substr(0, limit - value.data.size()));
    }
    value.size += bytes.size();
}

void setStringData(const std::u16string& units, SystemRegValue& value, std::size_t limit) {
    if (isTextType(value.type)) {
        std::string text = utf16ToUtf8(units);
        text.push_back('\0');
        appendLimited(value, text, limit);
        return;
    }
    for (const char16_t unit : units) {
        const char bytes[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        appendLimited(value, std::string_view(bytes, 2), limit);
    }
    appendLimited(value, std::string_view("\0\0", 2), limit);
}

// Texts given as hex(1), hex(2) or hex(7) bytes are UTF-16 as well; the A entry points hand them out
// converted like any other text.
void convertTextBytes(SystemRegValue& value) {
    if (!isTextType(value.type) || value.size != value.data.size()) {
        return;
    }
    value.data = utf16BytesToUtf8(value.data);
    value.size = value.data.size();
}

// Passes over the continuation lines of a value that is not wanted.
void skipContinuation(LineSource& lines, std::string_view line) {
    std::string next;
    bool goesOn = continues(line);
    while (goesOn && lines.next(next)) {
        if (startsEntry(next)) {
            lines.pushBack(std::move(next));
            return;
        }
        goesOn = continues(next);
    }
}

enum class HexLine { Ends, GoesOn, Broken };

// One line of a byte list: two hexadecimal digits a byte, separated by commas, the line perhaps ending in
// "\" to go on in the next one. Its bytes are appended to value.
HexLine readHexLine(std::string_view text, SystemRegValue& value, std::size_t limit) {
    std::size_t pos = 0;
    for (;;) {
        skipBlanks(text, pos);
        if (pos == text.size()) {
            return HexLine::Ends;
        }
        if (text[pos] == '\\') {
            return trimmedEnd(text.substr(pos + 1)).empty() ? HexLine::GoesOn : HexLine::Broken;
        }
        const auto byte = readHexDigits(text, pos, 2);
        if (!byte) {
            return HexLine::Broken;
        }
        const auto out = static_cast<char>(*byte);
        appendLimited(value, std::string_view(&out, 1), limit);
        skipBlanks(text, pos);
        if (pos < text.size() && text[pos] == ',') {
            ++pos;
        } else if (pos < text.size() && text[pos] != '\\') {
            return HexLine::Broken;
        }
    }
}

// A byte list from first on, over the lines its "\" ends join. False for data that is not such a list.
bool readHexData(LineSource& lines, std::string_view first, SystemRegValue& value, std::size_t limit) {
    std::string storage;
    std::string_view text = first;
    for (;;) {
        const HexLine read = readHexLine(text, value, limit);
        if (read == HexLine::Broken) {
            skipContinuation(lines, text);
            return false;
        }
        if (read == HexLine::Ends || !lines.next(storage)) {
            return true;
        }
        if (startsEntry(storage)) {
            lines.pushBack(std::move(storage));
            return true;
        }
        text = storage;
    }
}

// "text" or str(N):"text".
bool readTextData(std::string_view data, SystemRegValue& value, std::size_t limit) {
    std::size_t at = 0;
    value.type = kText;
    if (data.starts_with("str(")) {
        at = 4;
        const auto type = readValueType(data, at);
        if (!type) {
            return false;
        }
        value.type = *type;
    }
    if (at >= data.size() || data[at] != '"') {
        return false;
    }
    ++at;
    std::u16string units;
    if (!readQuoted(data, at, '"', units)) {
        return false;
    }
    setStringData(units, value, limit);
    return true;
}

// dword:N, stored low byte first.
bool readNumberData(std::string_view data, SystemRegValue& value, std::size_t limit) {
    std::size_t at = std::string_view("dword:").size();
    const auto number = readHexNumber(data, at);
    if (!number || !trimmedEnd(data.substr(at)).empty()) {
        return false;
    }
    value.type = kNumber;
    const char bytes[4] = {static_cast<char>(*number & 0xFF), static_cast<char>((*number >> 8) & 0xFF),
                           static_cast<char>((*number >> 16) & 0xFF), static_cast<char>(*number >> 24)};
    appendLimited(value, std::string_view(bytes, 4), limit);
    return true;
}

// hex:bytes or hex(N):bytes.
bool readBinaryData(LineSource& lines, std::string_view data, SystemRegValue& value, std::size_t limit) {
    value.type = kBinary;
    std::size_t at = 4;
    if (data[3] == '(') {
        const auto type = readValueType(data, at);
        if (!type) {
            skipContinuation(lines, data);
            return false;
        }
        value.type = *type;
    }
    if (!readHexData(lines, data.substr(at), value, limit)) {
        return false;
    }
    convertTextBytes(value);
    return true;
}

// The data after "name=". False for data that cannot be read; the value is then left out.
bool readData(LineSource& lines, std::string_view data, SystemRegValue& value, std::size_t limit) {
    if (data.starts_with("\"") || data.starts_with("str(")) {
        return readTextData(data, value, limit);
    }
    if (data.starts_with("dword:")) {
        return readNumberData(data, value, limit);
    }
    if (data.starts_with("hex:") || data.starts_with("hex(")) {
        return readBinaryData(lines, data, value, limit);
    }
    skipContinuation(lines, data);
    return false;
}

// The key path of a "[" line into path; false for a line that cannot be read.
bool sectionKey(std::string_view line, std::string& path) {
    // Nearly every key Wine writes is plain ASCII with doubled separators: taken as it is, without the
    // detour through UTF-16 that reading any escape needs.
    path.clear();
    for (std::size_t at = 1; at < line.size(); ++at) {
        const char c = line[at];
        if (c == ']') {
            return true;
        }
        if (static_cast<unsigned char>(c) >= 0x80 ||
            (c == '\\' && (++at == line.size() || line[at] != '\\'))) {
            break;
        }
        path.push_back(c);
    }
    std::size_t pos = 1;
    std::u16string units;
    if (!readQuoted(line, pos, ']', units)) {
        return false;
    }
    path = utf16ToUtf8(units);
    return true;
}

bool isLinkMark(std::string_view line) {
    return trimmedEnd(line) == "#link";
}

// A value's line, "name"=data or @=data, handed to the visitor when it can be read. False when the
// visitor stops the reading.
bool readValueLine(LineSource& lines, std::string_view line, SystemRegVisitor& visitor,
                   std::size_t dataLimit) {
    std::u16string name;
    std::size_t pos = 1;
    if (line.front() == '"' && !readQuoted(line, pos, '"', name)) {
        skipContinuation(lines, line);
        return true;
    }
    skipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=') {
        skipContinuation(lines, line);
        return true;
    }
    ++pos;
    skipBlanks(line, pos);
    SystemRegValue value;
    return !readData(lines, line.substr(pos), value, dataLimit) || visitor.value(utf16ToUtf8(name), value);
}

void readSections(LineSource& lines, SystemRegVisitor& visitor, std::size_t dataLimit) {
    std::string line;
    std::string path;
    bool inKey = false;
    bool wanted = false;
    while (lines.next(line)) {
        const char first = line.empty() ? '\0' : line.front();
        if (first == '[') {
            inKey = sectionKey(line, path);
            wanted = false;
            if (inKey) {
                if (!visitor.key(path)) {
                    return;
                }
                wanted = visitor.wantsValues();
            }
        } else if (first == '#') {
            if (inKey && isLinkMark(line)) {
                visitor.link();
            }
        } else if (first == '"' || first == '@') {
            if (!wanted) {
                skipContinuation(lines, line);
            } else if (!readValueLine(lines, line, visitor, dataLimit)) {
                return;
            }
        }
    }
}

} // namespace

bool readSystemReg(std::istream& in, SystemRegVisitor& visitor, std::size_t dataLimit) {
    LineSource lines(in);
    std::string line;
    if (!lines.next(line) || !line.starts_with(kHeader)) {
        return false;
    }
    readSections(lines, visitor, dataLimit);
    return true;
}

bool indexSystemReg(std::string_view file, SystemRegIndexVisitor& visitor) {
    bool inKey = false;
    std::string path;
    // Lines as LineSource cuts them; only "[" and "#" lines matter, and readSections never takes either
    // for part of a value.
    std::size_t begin = 0;
    bool header = true;
    do {
        const auto newline = file.find('\n', begin);
        const std::size_t end = newline == std::string_view::npos ? file.size() : newline;
        std::string_view line = file.substr(begin, std::min(end - begin, kLineLimit));
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::size_t offset = begin;
        begin = end + 1;
        if (header) {
            if (!line.starts_with(kHeader)) {
                return false;
            }
            header = false;
        } else if (line.starts_with('[')) {
            inKey = sectionKey(line, path);
            if (inKey) {
                visitor.section(path, offset);
            }
        } else if (inKey && line.starts_with('#') && isLinkMark(line)) {
            visitor.link();
        }
    } while (begin < file.size());
    return true;
}

void readSystemRegFrom(std::string_view file, std::size_t offset, SystemRegVisitor& visitor,
                       std::size_t dataLimit) {
    MemoryBuffer buffer(file.substr(std::min(offset, file.size())));
    std::istream in(&buffer);
    LineSource lines(in);
    readSections(lines, visitor, dataLimit);
}

} // namespace hotfix::posix
