#include "platform/posix/code_page.hpp"

#include "platform/text_codec.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace hotfix::posix {

namespace {

struct LocalePages {
    std::string_view prefix; // a language, or a language and more: the longest match wins
    CodePages pages;
};

// Windows' own assignment; a language stands for all its countries unless a longer entry says otherwise.
constexpr auto kLocalePages = std::to_array<LocalePages>({
    {"en", {1252, 437}},    {"en-GB", {1252, 850}}, {"en-AU", {1252, 850}},   {"en-CA", {1252, 850}},
    {"en-IE", {1252, 850}}, {"en-NZ", {1252, 850}}, {"af", {1252, 850}},      {"ca", {1252, 850}},
    {"da", {1252, 850}},    {"de", {1252, 850}},    {"es", {1252, 850}},      {"eu", {1252, 850}},
    {"fi", {1252, 850}},    {"fo", {1252, 850}},    {"fr", {1252, 850}},      {"ga", {1252, 850}},
    {"gl", {1252, 850}},    {"id", {1252, 850}},    {"is", {1252, 850}},      {"it", {1252, 850}},
    {"ms", {1252, 850}},    {"nb", {1252, 850}},    {"nl", {1252, 850}},      {"nn", {1252, 850}},
    {"no", {1252, 850}},    {"pt", {1252, 850}},    {"sv", {1252, 850}},      {"sw", {1252, 437}},
    {"cs", {1250, 852}},    {"hr", {1250, 852}},    {"hu", {1250, 852}},      {"pl", {1250, 852}},
    {"ro", {1250, 852}},    {"sk", {1250, 852}},    {"sl", {1250, 852}},      {"sq", {1250, 852}},
    {"bs", {1250, 852}},    {"sr", {1251, 855}},    {"sr-Latn", {1250, 852}}, {"ru", {1251, 866}},
    {"uk", {1251, 866}},    {"be", {1251, 866}},    {"bg", {1251, 866}},      {"kk", {1251, 866}},
    {"mk", {1251, 866}},    {"el", {1253, 737}},    {"tr", {1254, 857}},      {"az", {1254, 857}},
    {"he", {1255, 862}},    {"ar", {1256, 720}},    {"fa", {1256, 720}},      {"ur", {1256, 720}},
    {"et", {1257, 775}},    {"lt", {1257, 775}},    {"lv", {1257, 775}},      {"vi", {1258, 1258}},
    {"th", {874, 874}},     {"ja", {932, 932}},     {"ko", {949, 949}},       {"zh", {936, 936}},
    {"zh-TW", {950, 950}},  {"zh-HK", {950, 950}},
});

// "de" matches "de" and "de-AT", not "dex".
bool matches(std::string_view locale, std::string_view prefix) {
    return locale.starts_with(prefix) && (locale.size() == prefix.size() || locale[prefix.size()] == '-');
}

// An iconv conversion, closed when it goes.
class Converter {
public:
    Converter(const char* to, const char* from)
        : m_handle(::iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) {
            ::iconv_close(m_handle);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // iconv_open reports failure as (iconv_t)-1.
    bool valid() const { return reinterpret_cast<std::intptr_t>(m_handle) != -1; }
    iconv_t get() const { return m_handle; }

private:
    iconv_t m_handle;
};

constexpr std::size_t kIconvFailed = static_cast<std::size_t>(-1);

// One iconv conversion of the whole text; nothing when iconv cannot convert every byte.
std::optional<std::string> convert(std::string_view text, const char* to, const char* from) {
    const Converter converter(to, from);
    if (!converter.valid()) {
        return std::nullopt;
    }
    std::string out(text.size() * 4 + 4, '\0');
    std::string in(text);
    char* inBytes = in.data();
    std::size_t inLeft = in.size();
    char* outBytes = out.data();
    std::size_t outLeft = out.size();
    if (::iconv(converter.get(), &inBytes, &inLeft, &outBytes, &outLeft) == kIconvFailed || inLeft != 0) {
        return std::nullopt;
    }
    // The converters of 1255 and 1258 hold a letter back in case an accent follows; the end lets it out.
    if (::iconv(converter.get(), nullptr, nullptr, &outBytes, &outLeft) == kIconvFailed) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string iconvName(unsigned codePage) {
    return "CP" + std::to_string(codePage);
}

} // namespace

CodePages codePagesOfLocale(std::string_view localeName) {
    CodePages best;
    std::size_t bestLength = 0;
    for (const LocalePages& entry : kLocalePages) {
        if (matches(localeName, entry.prefix) && entry.prefix.size() > bestLength) {
            best = entry.pages;
            bestLength = entry.prefix.size();
        }
    }
    return best;
}

std::optional<std::string> toCodePageExactly(std::string_view utf8, unsigned codePage) {
    if (isAscii(utf8)) {
        return std::string(utf8);
    }
    const std::string name = iconvName(codePage);
    auto bytes = convert(utf8, name.c_str(), "UTF-8");
    // iconv maps some characters to the byte of a look-alike one way only; only a text that comes back as it
    // went is exact.
    if (!bytes || convert(*bytes, "UTF-8", name.c_str()) != utf8) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> fromCodePage(std::string_view bytes, unsigned codePage) {
    if (isAscii(bytes)) {
        return std::string(bytes);
    }
    const std::string name = iconvName(codePage);
    return convert(bytes, "UTF-8", name.c_str());
}

bool knowsCodePage(unsigned codePage) {
    const std::string name = iconvName(codePage);
    return Converter("UTF-8", name.c_str()).valid() && Converter(name.c_str(), "UTF-8").valid();
}

std::optional<std::string> fromCodePageKeepingEveryByte(std::string_view bytes, unsigned codePage) {
    if (isAscii(bytes)) {
        return std::string(bytes);
    }
    const std::string name = iconvName(codePage);
    const Converter converter("UTF-8", name.c_str());
    if (!converter.valid()) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(bytes.size() * 2);
    std::array<char, 4096> chunk{};
    // Converts until the input ends or a byte begins no character (true then); without input, lets out
    // what the converter holds back.
    const auto run = [&](char** in, std::size_t* inLeft) {
        for (;;) {
            char* outBytes = chunk.data();
            std::size_t outLeft = chunk.size();
            const std::size_t result = ::iconv(converter.get(), in, inLeft, &outBytes, &outLeft);
            const int error = errno;
            out.append(chunk.data(), outBytes);
            if (result != kIconvFailed || error != E2BIG) {
                return result == kIconvFailed;
            }
        }
    };
    // iconv takes its input through a char** but only reads it.
    char* inBytes = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        if (run(&inBytes, &inLeft) && inLeft > 0) {
            // A letter held back for an accent comes before the byte.
            run(nullptr, nullptr);
            appendUtf8(out, static_cast<unsigned char>(*inBytes));
            ++inBytes;
            --inLeft;
        }
    }
    run(nullptr, nullptr);
    return out;
}

std::optional<std::string> toCodePageOrQuestionMarks(std::string_view utf8, unsigned codePage) {
    if (auto whole = toCodePageExactly(utf8, codePage)) {
        return whole;
    }
    if (!knowsCodePage(codePage)) {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t codePoint = 0;
        const std::size_t length = decodeUtf8At(utf8, i, codePoint);
        if (length == 0) {
            out.push_back('?');
            ++i;
            continue;
        }
        out += toCodePageExactly(utf8.substr(i, length), codePage).value_or("?");
        i += length;
    }
    return out;
}

} // namespace hotfix::posix
