#include "fuzz_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

QList<QString>& ScratchFiles()
{
    static QList<QString> files;
    return files;
}

void RemoveScratchFiles()
{
    for (const QString& file : ScratchFiles())
        QFile::remove(file);
}

} // namespace

QList<QByteArray> SplitInput(const std::uint8_t* data, std::size_t size, char separator, int count)
{
    const QByteArray all(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QList<QByteArray> parts;
    qsizetype start = 0;
    while (parts.size() < count - 1) {
        const qsizetype at = all.indexOf(separator, start);
        if (at < 0)
            break;
        parts.append(all.mid(start, at - start));
        start = at + 1;
    }
    parts.append(all.mid(start));
    while (parts.size() < count)
        parts.append(QByteArray());
    return parts;
}

QString FuzzText(const QByteArray& bytes)
{
    if (bytes.startsWith('\x01')) {
        const qsizetype units = (bytes.size() - 1) / 2;
        QString text(units, Qt::Uninitialized);
        for (qsizetype i = 0; i < units; ++i)
            text[i] = QChar(static_cast<char16_t>(static_cast<std::uint8_t>(bytes[1 + 2 * i]) |
                                                  static_cast<std::uint8_t>(bytes[2 + 2 * i]) << 8));
        return text;
    }
    return QString::fromUtf8(bytes);
}

QString ScratchFile(const char* suffix)
{
    const QString folder =
        QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    const QString name =
        QStringLiteral("%1/vnh-fuzz-%2%3").arg(folder).arg(getpid()).arg(QLatin1String(suffix));
    if (ScratchFiles().isEmpty())
        std::atexit(RemoveScratchFiles);
    if (!ScratchFiles().contains(name))
        ScratchFiles().append(name);
    return name;
}

void WriteScratch(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}
