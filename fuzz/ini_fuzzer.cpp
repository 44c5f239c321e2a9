// The INI reader and writer on arbitrary files. Input: section name, key name and a value, one line
// each, then the bytes of the file.

#include "fuzz_support.h"

#include "config/ini_file.h"
#include "config/text_file.h"

namespace {

constexpr qsizetype kMaxValueLength = 2047;

/// Names that a write stores as given: one line, no outer blanks.
bool IsPlainName(const QString& name)
{
    return !name.contains(u'\r') && !name.contains(u'\n') && name == name.trimmed();
}

/// A key line must not read as a section header, a comment, or with the "=" inside the name.
bool IsPlainKey(const QString& key)
{
    return IsPlainName(key) && !key.contains(u'=') && !key.startsWith(u';') && !key.startsWith(u'[');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> parts = SplitInput(data, size, '\n', 4);
    const QString section = QString::fromUtf8(parts[0]);
    const QString key = QString::fromUtf8(parts[1]);
    const QString value = QString::fromUtf8(parts[2]);
    static const QString fileName = ScratchFile(".ini");
    WriteScratch(fileName, parts[3]);

    // The text decoding the reader relies on: what was read is written back unchanged.
    const QString text = DecodeText(parts[3]);
    FUZZ_CHECK(DecodeText(EncodeText(text)) == text);

    TIniFile ini(fileName);
    const QString read = ini.ReadString(section, key, QStringLiteral("default"));
    FUZZ_CHECK(read.size() <= kMaxValueLength);
    FUZZ_CHECK(ini.ValueExists(section, key) || read == QStringLiteral("default"));
    FUZZ_CHECK(!ini.ValueExists(section, key) || ini.SectionExists(section));
    (void)ini.ReadInteger(section, key, 7);
    (void)ini.ReadBool(section, key, true);

    ini.WriteString(section, key, value);
    if (IsPlainName(section) && IsPlainKey(key)) {
        QString expected = value;
        expected.replace(u'\r', u' ').replace(u'\n', u' ');
        FUZZ_CHECK(ini.ReadString(section, key, QStringLiteral("\x01")) == expected.left(kMaxValueLength));
        ini.EraseSection(section);
        FUZZ_CHECK(!ini.SectionExists(section));
        FUZZ_CHECK(ini.ReadString(section, key, QStringLiteral("\x01")) == QStringLiteral("\x01"));
    } else {
        ini.EraseSection(section);
    }
    return 0;
}
