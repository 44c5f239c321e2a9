#include "config/base64.h"

#include <algorithm>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of a symbol, -1 for "=", -2 for anything else.
int SymbolValue(QChar ch)
{
    const char16_t c = ch.unicode();
    if (c >= u'A' && c <= u'Z')
        return c - u'A';
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 26;
    if (c >= u'0' && c <= u'9')
        return c - u'0' + 52;
    if (c == u'+')
        return 62;
    if (c == u'/')
        return 63;
    return c == u'=' ? -1 : -2;
}

} // namespace

QString Base64Encode(const std::uint8_t* data, std::size_t size)
{
    QString text;
    text.reserve(static_cast<qsizetype>((size + 2) / 3 * 4));
    for (std::size_t i = 0; i < size; i += 3) {
        const std::size_t count = std::min<std::size_t>(3, size - i);
        std::uint32_t group = std::uint32_t(data[i]) << 16;
        if (count > 1)
            group |= std::uint32_t(data[i + 1]) << 8;
        if (count > 2)
            group |= data[i + 2];
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= count ? QChar(kAlphabet[(group >> (18 - 6 * k)) & 0x3F]) : QChar(u'=');
    }
    return text;
}

TSecretBytes Base64Decode(QStringView text)
{
    std::size_t symbols = 0;
    for (QChar ch : text) {
        const int value = SymbolValue(ch);
        if (value == -1)
            break;
        if (value >= 0)
            ++symbols;
    }
    // Every full group gives three bytes; a rest of n symbols gives n - 1 bytes (none for one).
    const std::size_t rest = symbols % 4;
    TSecretBytes bytes(symbols / 4 * 3 + (rest > 1 ? rest - 1 : 0));

    std::size_t out = 0;
    std::uint32_t group = 0;
    std::size_t inGroup = 0;
    for (QChar ch : text) {
        const int value = SymbolValue(ch);
        if (value == -1)
            break;
        if (value < 0)
            continue;
        group = (group << 6) | std::uint32_t(value);
        if (++inGroup == 4) {
            bytes[out++] = static_cast<std::uint8_t>(group >> 16);
            bytes[out++] = static_cast<std::uint8_t>(group >> 8);
            bytes[out++] = static_cast<std::uint8_t>(group);
            group = 0;
            inGroup = 0;
        }
    }
    if (inGroup >= 2) {
        group <<= 6 * (4 - inGroup);
        bytes[out++] = static_cast<std::uint8_t>(group >> 16);
        if (inGroup == 3)
            bytes[out++] = static_cast<std::uint8_t>(group >> 8);
    }
    BurnBytes(&group, sizeof group);
    return bytes;
}
