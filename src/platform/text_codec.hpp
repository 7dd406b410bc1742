#pragma once

#include <string>
#include <string_view>

namespace hotfix {

bool isValidUtf8(std::string_view bytes);

// Windows-1252 bytes to UTF-8. The five bytes the code page leaves undefined map to the C1 controls of the
// same value, as Windows itself maps them, so that no byte is lost.
std::string windows1252ToUtf8(std::string_view bytes);

// 8-bit text of unknown origin: kept as it is when it is valid UTF-8, otherwise read as Windows-1252.
std::string decodeEightBitText(std::string_view bytes);
// The same, without a copy where the bytes are UTF-8 already.
void decodeEightBitTextInPlace(std::string& bytes);

} // namespace hotfix
