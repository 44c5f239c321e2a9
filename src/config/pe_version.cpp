#include "config/pe_version.h"

#include <QFile>
#include <optional>
#include <utility>

namespace {

constexpr quint32 CResourceTypeVersion = 16;
constexpr quint32 CFixedFileInfoSignature = 0xFEEF04BD;
constexpr qint64 CMaxVersionResourceSize = 1 << 20;

/// Little-endian reads with bounds checks over a byte buffer.
class TBytes {
public:
    explicit TBytes(QByteArray bytes) : FBytes(std::move(bytes)) {}
    qsizetype Size() const { return FBytes.size(); }
    std::optional<quint32> U16(qint64 at) const { return Read(at, 2); }
    std::optional<quint32> U32(qint64 at) const { return Read(at, 4); }

private:
    std::optional<quint32> Read(qint64 at, int width) const
    {
        if (at < 0 || at + width > FBytes.size())
            return std::nullopt;
        quint32 value = 0;
        for (int i = width - 1; i >= 0; --i)
            value = (value << 8) | uchar(FBytes[at + i]);
        return value;
    }
    QByteArray FBytes;
};

struct TSection {
    quint32 VirtualAddress, VirtualSize, RawSize, RawOffset;
};

/// File offset of a relative virtual address, through the section table.
std::optional<qint64> FileOffset(const QList<TSection>& sections, quint32 rva)
{
    for (const TSection& s : sections) {
        const quint32 size = qMax(s.VirtualSize, s.RawSize);
        if (rva >= s.VirtualAddress && rva - s.VirtualAddress < size) {
            const quint32 delta = rva - s.VirtualAddress;
            if (delta >= s.RawSize)
                return std::nullopt;
            return qint64(s.RawOffset) + delta;
        }
    }
    return std::nullopt;
}

/// Offset (from the resource root) of the entry with `id` in a resource directory, or of its
/// first entry when `id` is empty; the high bit tells whether it is a subdirectory.
std::optional<quint32> DirectoryEntry(const TBytes& rsrc, quint32 dirOffset, std::optional<quint32> id)
{
    const auto named = rsrc.U16(dirOffset + 12);
    const auto ids = rsrc.U16(dirOffset + 14);
    if (!named || !ids)
        return std::nullopt;
    const quint32 count = *named + *ids;
    for (quint32 i = 0; i < count; ++i) {
        const qint64 entry = qint64(dirOffset) + 16 + 8 * qint64(i);
        const auto name = rsrc.U32(entry);
        const auto target = rsrc.U32(entry + 4);
        if (!name || !target)
            return std::nullopt;
        if (!id || *name == *id)
            return *target;
    }
    return std::nullopt;
}

} // namespace

bool ReadPeFileVersion(const QString& fileName, std::array<quint32, 2>& fileVersion)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const TBytes dos(file.read(64));
    if (dos.U16(0) != 0x5A4D) // "MZ"
        return false;
    const auto peAt = dos.U32(0x3C);
    if (!peAt || !file.seek(*peAt))
        return false;
    const TBytes pe(file.read(24 + 240));
    if (pe.U32(0) != 0x00004550) // "PE\0\0"
        return false;
    const auto sectionCount = pe.U16(6);
    const auto optionalSize = pe.U16(20);
    const auto magic = pe.U16(24);
    if (!sectionCount || !optionalSize || !magic)
        return false;
    qint64 directories, directoryCountAt;
    if (*magic == 0x10B) { // PE32
        directoryCountAt = 24 + 92;
        directories = 24 + 96;
    } else if (*magic == 0x20B) { // PE32+
        directoryCountAt = 24 + 108;
        directories = 24 + 112;
    } else {
        return false;
    }
    const auto directoryCount = pe.U32(directoryCountAt);
    if (!directoryCount || *directoryCount < 3)
        return false;
    const auto resourceRva = pe.U32(directories + 2 * 8);
    const auto resourceSize = pe.U32(directories + 2 * 8 + 4);
    if (!resourceRva || !resourceSize || *resourceRva == 0)
        return false;

    if (!file.seek(qint64(*peAt) + 24 + *optionalSize))
        return false;
    const TBytes table(file.read(qint64(*sectionCount) * 40));
    QList<TSection> sections;
    for (quint32 i = 0; i < *sectionCount; ++i) {
        const qint64 at = qint64(i) * 40;
        const auto va = table.U32(at + 12), vs = table.U32(at + 8);
        const auto rawSize = table.U32(at + 16), rawOffset = table.U32(at + 20);
        if (!va || !vs || !rawSize || !rawOffset)
            return false;
        sections.append({*va, *vs, *rawSize, *rawOffset});
    }

    const auto rootAt = FileOffset(sections, *resourceRva);
    if (!rootAt || !file.seek(*rootAt))
        return false;
    const TBytes rsrc(file.read(qMin<qint64>(*resourceSize, CMaxVersionResourceSize)));
    // Type, then name, then language: the version resource is the first name and language.
    const auto typeDir = DirectoryEntry(rsrc, 0, CResourceTypeVersion);
    if (!typeDir || !(*typeDir & 0x80000000u))
        return false;
    const auto nameDir = DirectoryEntry(rsrc, *typeDir & 0x7FFFFFFFu, std::nullopt);
    if (!nameDir || !(*nameDir & 0x80000000u))
        return false;
    const auto dataEntry = DirectoryEntry(rsrc, *nameDir & 0x7FFFFFFFu, std::nullopt);
    if (!dataEntry || (*dataEntry & 0x80000000u))
        return false;
    const auto dataRva = rsrc.U32(*dataEntry);
    const auto dataSize = rsrc.U32(*dataEntry + 4);
    if (!dataRva || !dataSize)
        return false;
    const auto dataAt = FileOffset(sections, *dataRva);
    if (!dataAt || !file.seek(*dataAt))
        return false;
    const TBytes info(file.read(qMin<qint64>(*dataSize, CMaxVersionResourceSize)));

    // VS_VERSIONINFO: length, value length, type, key "VS_VERSION_INFO", padding to 32 bits, then
    // the fixed information, whose first word is its signature.
    const auto valueLength = info.U16(2);
    if (!valueLength || *valueLength < 52)
        return false;
    qint64 at = 6;
    while (true) {
        const auto ch = info.U16(at);
        if (!ch)
            return false;
        at += 2;
        if (*ch == 0)
            break;
    }
    at = (at + 3) & ~qint64(3);
    if (info.U32(at) != CFixedFileInfoSignature)
        return false;
    const auto ms = info.U32(at + 8), ls = info.U32(at + 12);
    if (!ms || !ls)
        return false;
    fileVersion = {*ms, *ls};
    return true;
}
