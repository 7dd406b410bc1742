#include "platform/posix/posix_registry.hpp"
#include "platform/posix/scoped_environment.hpp"
#include "platform/posix/system_reg.hpp"
#include "platform/posix/wine_prefix.hpp"
#include "platform/reg_module.hpp"
#include "support/temp_dir.hpp"

#include <array>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

namespace hotfix::posix {
namespace {

using namespace std::string_literals;
using test::TempDir;

constexpr std::uint32_t kLocalMachine = RegistryApi::kLocalMachine;
constexpr std::uint32_t kKeyRead = 0x20019;

// As Wine writes it, with the kinds of values and escapes it uses.
constexpr std::string_view kSystemReg = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Microsoft\\Windows NT\\CurrentVersion] 1796629318
#time=1dd861e70743f8a
"CurrentVersion"="6.1"
"PathName"="C:\\windows"
"DigitalProductId"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,\
  13,14,15
"SystemRoot"="C:\\windows"

[Software\\Vantrel Software] 1796628201
#time=1dd861bd6627a80
@="default"
"Empty"=""
"Exp"=str(2):"%SystemRoot%\\x"
"Multi"=str(7):"a\0b\0"
"Num"=dword:0000002a
"Odd"="a\"b\\c \xe9\x20ac\n\t\101"
"QXINSTALLDIR"="C:\\Program Files\\Vantrel"
"Raw"=hex(2):25,00,53,00,79,00,73,00,\
  25,00,00,00
"Bin"=hex:01,02,ff

[System\\ControlSet001\\Control\\Session Manager] 1796629312
"Pending"=dword:00000001

[System\\CurrentControlSet] 1796629312
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,\
  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,\
  74,00,65,00,6d,00,5c,00,43,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,\
  00,74,00,30,00,30,00,31,00
)";

struct Read {
    long result = -1;
    std::uint32_t type = 0;
    std::string data;
    std::uint32_t size = 0;
};

class PosixRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { write(kSystemReg); }
    // The registry of a fresh start on the file: it is read once, at the first key opened.
    void write(std::string_view content) {
        dir.write("system.reg", content);
        registry.emplace(WinePrefix(dir.str()));
    }
    std::string read(std::string_view keyPath, std::string_view name) {
        std::string text = "before";
        found = RegModule::ReadRegValue(*registry, kLocalMachine, keyPath, name, text);
        return text;
    }

    Read query(std::string_view keyPath, std::string_view name, std::size_t capacity = 1024) {
        Read out;
        RegistryApi::Key key{};
        out.result = registry->openKey(kLocalMachine, keyPath, kKeyRead, key);
        if (out.result != RegistryApi::kSuccess) {
            return out;
        }
        std::vector<std::byte> buffer(capacity);
        out.size = static_cast<std::uint32_t>(capacity);
        out.result = registry->queryValue(key, name, out.type, buffer, out.size);
        if (out.result == RegistryApi::kSuccess) {
            out.data.assign(reinterpret_cast<const char*>(buffer.data()), out.size);
        }
        registry->closeKey(key);
        return out;
    }

    // Texts come out in the locale's ANSI code page; these tests expect a western one.
    const test::ScopedEnvironment westernLocale{"LC_ALL", "en_US.UTF-8"};
    TempDir dir;
    std::optional<PosixRegistry> registry;
    bool found = false;
};

TEST_F(PosixRegistryTest, valuesComeOutAsTheAnsiCallsGiveThem) {
    const Read text = query("SOFTWARE\\Vantrel Software", "QXINSTALLDIR");
    EXPECT_EQ(text.result, RegistryApi::kSuccess);
    EXPECT_EQ(text.type, 1u);
    EXPECT_EQ(text.data, "C:\\Program Files\\Vantrel\0"s);

    // In the ANSI code page, Windows-1252 here.
    EXPECT_EQ(query("SOFTWARE\\Vantrel Software", "Odd").data, "a\"b\\c \xe9\x80\n\tA\0"s);
    EXPECT_EQ(query("SOFTWARE\\Vantrel Software", "Empty").data, "\0"s);
    EXPECT_EQ(query("SOFTWARE\\Vantrel Software", "").data, "default\0"s);

    const Read number = query("SOFTWARE\\Vantrel Software", "Num");
    EXPECT_EQ(number.type, 4u);
    EXPECT_EQ(number.data, "\x2a\0\0\0"s);

    const Read expandable = query("SOFTWARE\\Vantrel Software", "Exp");
    EXPECT_EQ(expandable.type, 2u);
    EXPECT_EQ(expandable.data, "%SystemRoot%\\x\0"s);
    EXPECT_EQ(query("SOFTWARE\\Vantrel Software", "Multi").data, "a\0b\0\0"s);
    EXPECT_EQ(query("SOFTWARE\\Vantrel Software", "Raw").data, "%Sys%\0"s);

    const Read binary = query("SOFTWARE\\Vantrel Software", "Bin");
    EXPECT_EQ(binary.type, 3u);
    EXPECT_EQ(binary.data, "\x01\x02\xff"s);
    EXPECT_EQ(query("Software\\Microsoft\\Windows NT\\CurrentVersion", "DigitalProductId").data.size(), 22u);
    EXPECT_EQ(query("Software\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot").data, "C:\\windows\0"s);
}

TEST_F(PosixRegistryTest, keysAndNamesMatchIgnoringCase) {
    EXPECT_EQ(query("software\\VANTREL software", "qxinstalldir").result, RegistryApi::kSuccess);
    EXPECT_EQ(query("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "pathname").data, "C:\\windows\0"s);
    EXPECT_EQ(query("SOFTWARE\\Vantrel", "QXINSTALLDIR").result, RegistryApi::kFileNotFound);
    EXPECT_EQ(query("SOFTWARE\\Vantrel Software", "Missing").result, RegistryApi::kFileNotFound);
    // A key that holds only subkeys has no section of its own in the file, yet it exists.
    EXPECT_EQ(query("Software\\Microsoft", "x").result, RegistryApi::kFileNotFound);
    RegistryApi::Key key{};
    EXPECT_EQ(registry->openKey(kLocalMachine, "Software\\Microsoft", kKeyRead, key), RegistryApi::kSuccess);
    registry->closeKey(key);
}

TEST_F(PosixRegistryTest, dataOverTheBufferAsksForMore) {
    write("WINE REGISTRY Version 2\n[Software\\\\Vantrel Software]\n\"Long\"=\"" + std::string(1023, 'x') +
          "\"\n\"Longer\"=\"" + std::string(1024, 'x') + "\"\n");
    EXPECT_EQ(query("Software\\Vantrel Software", "Long").data.size(), 1024u);
    const Read longer = query("Software\\Vantrel Software", "Longer");
    EXPECT_EQ(longer.result, RegistryApi::kMoreData);
    EXPECT_EQ(longer.size, 1025u);
}

TEST_F(PosixRegistryTest, symbolicLinksAreFollowed) {
    const Read pending = query("System\\CurrentControlSet\\Control\\Session Manager", "Pending");
    EXPECT_EQ(pending.result, RegistryApi::kSuccess);
    EXPECT_EQ(pending.data, "\x01\0\0\0"s);

    // Two links that point at each other lead nowhere, and reading ends.
    const auto linkTo = [](std::string_view target) {
        constexpr std::string_view kHex = "0123456789abcdef";
        std::string out = "\"SymbolicLinkValue\"=hex(6):";
        for (const char c : "\\Registry\\Machine\\" + std::string(target)) {
            if (out.back() != ':') {
                out += ',';
            }
            out += {kHex[static_cast<unsigned char>(c) >> 4], kHex[static_cast<unsigned char>(c) & 15]};
            out += ",00";
        }
        return out + "\n";
    };
    write("WINE REGISTRY Version 2\n[Software\\\\A]\n#link\n" + linkTo("Software\\B") +
          "[Software\\\\B]\n#link\n" + linkTo("Software\\A"));
    RegistryApi::Key key{};
    EXPECT_EQ(registry->openKey(kLocalMachine, "Software\\A", kKeyRead, key), RegistryApi::kFileNotFound);
}

TEST_F(PosixRegistryTest, onlyReadRightsOpenAKeyOfHkeyLocalMachine) {
    RegistryApi::Key key{};
    EXPECT_EQ(registry->openKey(kLocalMachine, "Software\\Vantrel Software", 0x2003F, key),
              PosixRegistry::kAccessDenied);
    EXPECT_EQ(registry->openKey(0x80000001u, "Software\\Vantrel Software", kKeyRead, key),
              PosixRegistry::kInvalidHandle);
    std::uint32_t type = 0;
    std::uint32_t size = 4;
    std::array<std::byte, 4> buffer{};
    EXPECT_EQ(registry->queryValue(12345, "x", type, buffer, size), PosixRegistry::kInvalidHandle);
}

TEST_F(PosixRegistryTest, readRegValueReadsTheFileAsTheReaderPromises) {
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "QXINSTALLDIR"), "C:\\Program Files\\Vantrel");
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Num"), "&h00002A");
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Exp"), "before");
    EXPECT_TRUE(found);
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Odd"), "a\"b\\c \u00e9\u20ac\n\tA");

    // The limit counts bytes of the ANSI code page: one more "\xe9" than fits is one byte too many.
    write("WINE REGISTRY Version 2\n[Software\\\\Vantrel Software]\n\"Fits\"=\"" + std::string(1022, 'a') +
          "\\xe9\"\n\"Over\"=\"" + std::string(1023, 'a') + "\\xe9\"\n\"Junk\"=\"C:\\\\Vantrel\\0junk\"\n");
    EXPECT_EQ(read("Software\\Vantrel Software", "Fits"), std::string(1022, 'a') + "\u00e9");
    EXPECT_EQ(read("Software\\Vantrel Software", "Over"), "before");
    EXPECT_FALSE(found);
    // A zero inside a text ends it.
    EXPECT_EQ(read("Software\\Vantrel Software", "Junk"), "C:\\Vantrel");

    // One start reads the file once: what Wine writes later is not seen.
    dir.write("system.reg", kSystemReg);
    EXPECT_EQ(read("Software\\Vantrel Software", "Junk"), "C:\\Vantrel");
}

TEST_F(PosixRegistryTest, aCyrillicLocaleCountsOneByteALetterAndLacksWesternAccents) {
    const test::ScopedEnvironment russian("LC_ALL", "ru_RU.UTF-8");
    std::string letters;
    std::string expected;
    for (int i = 0; i < 1023; ++i) {
        letters += "\\x416";
        expected += "\xD0\x96";
    }
    write("WINE REGISTRY Version 2\n[Software\\\\Vantrel Software]\n\"Fits\"=\"" + letters +
          "\"\n\"Accent\"=\"caf\\xe9\"\n");
    EXPECT_EQ(query("Software\\Vantrel Software", "Fits").data.size(), 1024u);
    EXPECT_EQ(read("Software\\Vantrel Software", "Fits"), expected);
    EXPECT_EQ(read("Software\\Vantrel Software", "Accent"), "caf?");
}

TEST_F(PosixRegistryTest, the32BitViewComesFirstAndThePlainKeyServesWhatItLacks) {
    write(R"(WINE REGISTRY Version 2
#arch=win64
[Software\\Microsoft\\Windows NT\\CurrentVersion]
"SystemRoot"="C:\\windows"
[Software\\Vantrel Software]
"QXINSTALLDIR"="C:\\Program Files\\Vantrel"
"Only64"="64-bit view"
[Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Fonts]
"Arial"="arial.ttf"
[Software\\Wow6432Node\\Vantrel Software]
"QXINSTALLDIR"="C:\\Program Files (x86)\\Vantrel"
[Software\\Wow6432Node\\Only32]
"Where"="32-bit view"
[System\\Setup]
"Where"="shared"
)");
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "QXINSTALLDIR"), "C:\\Program Files (x86)\\Vantrel");
    // A key in both views with the value only in the plain one, as wineboot leaves CurrentVersion.
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Only64"), "64-bit view");
    EXPECT_EQ(read("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot"), "C:\\windows");
    EXPECT_EQ(read("SOFTWARE\\Only32", "Where"), "32-bit view");
    EXPECT_EQ(read("SOFTWARE\\Wow6432Node\\Only32", "Where"), "32-bit view");
    EXPECT_EQ(read("SYSTEM\\Setup", "Where"), "shared");
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Missing"), "before");
    EXPECT_FALSE(found);
}

TEST_F(PosixRegistryTest, missingOrForeignFilesHoldNothing) {
    PosixRegistry missing{WinePrefix(dir.str() + "/no-such")};
    RegistryApi::Key key{};
    EXPECT_EQ(missing.openKey(kLocalMachine, "Software\\Vantrel Software", kKeyRead, key),
              RegistryApi::kFileNotFound);
    write("REGEDIT4\n[Software\\\\Vantrel Software]\n\"QXINSTALLDIR\"=\"C:\\\\x\"\n");
    EXPECT_EQ(query("Software\\Vantrel Software", "QXINSTALLDIR").result, RegistryApi::kFileNotFound);
    PosixRegistry none{WinePrefix()};
    EXPECT_EQ(none.openKey(kLocalMachine, "Software", kKeyRead, key), RegistryApi::kFileNotFound);
}

TEST_F(PosixRegistryTest, garbledLinesAreSkippedAndTheRestIsRead) {
    write("WINE REGISTRY Version 2\n"
          "[Software\\\\Broken\n"
          "\"Lost\"=\"1\"\n"
          "[Software\\\\Vantrel Software] 1\n"
          "\"Unterminated\"=\"abc\n"
          "\"BadHex\"=hex:01,zz,\\\n"
          "  02,03\n"
          "\"BadDword\"=dword:12345678901\n"
          "\"BadType\"=hex(zz):01\n"
          "\"Cut\"=hex:01,02,\\\n"
          "\"QXINSTALLDIR\"=\"C:\\\\Vantrel\"\n"
          "\"Escape\"=\"a\\\n"
          "\"Tail\"=hex:01,\\");
    EXPECT_EQ(query("Software\\Vantrel Software", "QXINSTALLDIR").data, "C:\\Vantrel\0"s);
    EXPECT_EQ(query("Software\\Vantrel Software", "Cut").data, "\x01\x02"s);
    EXPECT_EQ(query("Software\\Vantrel Software", "Tail").data, "\x01"s);
    for (const char* name : {"Unterminated", "BadHex", "BadDword", "BadType", "Escape"}) {
        EXPECT_EQ(query("Software\\Vantrel Software", name).result, RegistryApi::kFileNotFound) << name;
    }
    EXPECT_EQ(query("Software\\Broken", "Lost").result, RegistryApi::kFileNotFound);
}

TEST_F(PosixRegistryTest, hugeFilesAndValuesAreReadWithinBounds) {
    std::string content = "WINE REGISTRY Version 2\n[Software\\\\Junk]\n" + std::string(6 << 20, 'j') + "\n";
    content += "[Software\\\\Vantrel Software]\n\"Huge\"=hex:";
    for (int line = 0; line < 40000; ++line) {
        content += "00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,\\\n  ";
    }
    content += "ff\n\"QXINSTALLDIR\"=\"C:\\\\Vantrel\"\n";
    write(content);
    const Read huge = query("Software\\Vantrel Software", "Huge");
    EXPECT_EQ(huge.result, RegistryApi::kMoreData);
    EXPECT_EQ(huge.size, 40000u * 25u + 1u);
    EXPECT_EQ(query("Software\\Vantrel Software", "QXINSTALLDIR").data, "C:\\Vantrel\0"s);
}

} // namespace
} // namespace hotfix::posix
