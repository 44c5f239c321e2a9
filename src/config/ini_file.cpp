#include "config/ini_file.h"

#include "config/text_file.h"

#include <QFile>

namespace {

constexpr qsizetype CMaxValueLength = 2047;

bool IsAsciiHexDigit(char16_t ch)
{
    return (ch >= u'0' && ch <= u'9') || (ch >= u'a' && ch <= u'f') || (ch >= u'A' && ch <= u'F');
}

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

/// "[name]" (leading blanks allowed); the name runs to the last "]" or, without one, to the line end.
bool ParseSectionLine(const QString& line, QString& name)
{
    const QString text = line.trimmed();
    if (!text.startsWith(u'['))
        return false;
    qsizetype close = text.lastIndexOf(u']');
    if (close < 0)
        close = text.size();
    name = text.mid(1, close - 1).trimmed();
    return true;
}

/// "key=value"; blanks around key and value do not count. Comment lines (";") are no keys.
bool ParseKeyLine(const QString& line, QString& key, QString& rawValue)
{
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return false;
    key = line.left(eq).trimmed();
    if (key.startsWith(u';') || key.startsWith(u'['))
        return false;
    rawValue = line.mid(eq + 1).trimmed();
    return true;
}

/// A value enclosed in a matching pair of quotes loses them.
QString Unquote(const QString& rawValue)
{
    if (rawValue.size() >= 2 && (rawValue.front() == u'"' || rawValue.front() == u'\'') &&
        rawValue.back() == rawValue.front())
        return rawValue.mid(1, rawValue.size() - 2);
    return rawValue;
}

/// The form in which a value is written so that reading gives it back unchanged: values with
/// outer blanks or outer quotes are enclosed in quotes; line breaks would open new lines.
QString StoredValue(QString value)
{
    value.replace(u'\r', u' ').replace(u'\n', u' ');
    if (value != value.trimmed() || Unquote(value) != value)
        return u'"' + value + u'"';
    return value;
}

QString SingleLine(QString name)
{
    return name.replace(u'\r', u' ').replace(u'\n', u' ').trimmed();
}

/// Lines [Begin, End) of one section; Begin is the line after its header.
struct TSectionRange {
    qsizetype Header;
    qsizetype Begin;
    qsizetype End;
};

QList<TSectionRange> SectionsNamed(const QStringList& lines, const QString& section)
{
    QList<TSectionRange> ranges;
    bool inMatch = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString name;
        if (!ParseSectionLine(lines[i], name))
            continue;
        if (inMatch)
            ranges.back().End = i;
        inMatch = SameName(name, section);
        if (inMatch)
            ranges.append({i, i + 1, lines.size()});
    }
    return ranges;
}

/// Index of the first line holding the key in one of the sections of that name, or -1.
qsizetype FindKey(const QStringList& lines, const QList<TSectionRange>& sections, const QString& key)
{
    for (const TSectionRange& range : sections)
        for (qsizetype i = range.Begin; i < range.End; ++i) {
            QString name, rawValue;
            if (ParseKeyLine(lines[i], name, rawValue) && SameName(name, key))
                return i;
        }
    return -1;
}

/// The lines to change. A file that exists but cannot be read is not replaced: that would lose
/// its other sections.
QStringList ReadLinesForWrite(const QString& fileName)
{
    QFile file(fileName);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw EIniWriteError(fileName);
    return SplitLines(DecodeText(file.readAll()));
}

void SaveLines(const QString& fileName, const QStringList& lines)
{
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    if (!WriteFileAtomically(fileName, EncodeText(text)))
        throw EIniWriteError(fileName);
}

} // namespace

EIniWriteError::EIniWriteError(const QString& fileName)
    : std::runtime_error(QStringLiteral("In %1 kann nicht geschrieben werden").arg(fileName).toStdString()),
      FMessage(QStringLiteral("In %1 kann nicht geschrieben werden").arg(fileName))
{}

TIniFile::TIniFile(const QString& fileName) : FFileName(fileName) {}

QStringList TIniFile::Lines() const
{
    return FPending ? *FPending : ReadTextLines(FFileName);
}

QStringList TIniFile::LinesForWrite() const
{
    return FPending ? *FPending : ReadLinesForWrite(FFileName);
}

void TIniFile::Save(const QStringList& lines)
{
    if (FPending)
        FPending = lines;
    else
        SaveLines(FFileName, lines);
}

void TIniFile::BeginUpdate()
{
    if (!FPending)
        FPending = ReadLinesForWrite(FFileName);
}

void TIniFile::EndUpdate()
{
    if (!FPending)
        return;
    const QStringList lines = *FPending;
    FPending.reset();
    SaveLines(FFileName, lines);
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QStringList lines = Lines();
    const qsizetype at = FindKey(lines, SectionsNamed(lines, section), key);
    if (at < 0)
        return defaultValue;
    QString name, rawValue;
    ParseKeyLine(lines[at], name, rawValue);
    return Unquote(rawValue).left(CMaxValueLength);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    const QString text = ReadString(section, key, QString());
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        const QString digits = text.mid(2);
        for (const QChar ch : digits)
            if (!IsAsciiHexDigit(ch.unicode()))
                return defaultValue;
        bool ok = false;
        const qulonglong value = digits.toULongLong(&ok, 16);
        if (!ok || value > 0xFFFFFFFFull)
            return defaultValue;
        return int(quint32(value)); // eight hex digits fill the whole 32 bits, as the sign bit too
    }
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const QString& section) const
{
    return !SectionsNamed(Lines(), section).isEmpty();
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    const QStringList lines = Lines();
    return FindKey(lines, SectionsNamed(lines, section), key) >= 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QString sectionName = SingleLine(section);
    const QString keyName = SingleLine(key);
    QStringList lines = LinesForWrite();
    const QList<TSectionRange> sections = SectionsNamed(lines, sectionName);
    const qsizetype at = FindKey(lines, sections, keyName);
    if (at >= 0) {
        QString existingName, rawValue;
        ParseKeyLine(lines[at], existingName, rawValue);
        lines[at] = existingName + u'=' + StoredValue(value);
    } else if (!sections.isEmpty()) {
        // After the last non-blank line of the section, so blank lines before the next one stay.
        qsizetype insertAt = sections.front().End;
        while (insertAt > sections.front().Begin && lines[insertAt - 1].trimmed().isEmpty())
            --insertAt;
        lines.insert(insertAt, keyName + u'=' + StoredValue(value));
    } else {
        lines.append(u'[' + sectionName + u']');
        lines.append(keyName + u'=' + StoredValue(value));
    }
    Save(lines);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::EraseSection(const QString& section)
{
    QStringList lines = LinesForWrite();
    // Every section of that name goes, so that no key of a duplicate survives for the next reader.
    const QList<TSectionRange> sections = SectionsNamed(lines, SingleLine(section));
    if (sections.isEmpty())
        return;
    for (qsizetype i = sections.size() - 1; i >= 0; --i)
        lines.remove(sections[i].Header, sections[i].End - sections[i].Header);
    Save(lines);
}
