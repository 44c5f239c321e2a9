#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

/// INI file access with the semantics of the Windows profile functions: section and key names
/// match without regard to case, a missing file, section or key gives the default, values are cut
/// at 2047 characters. Every write reaches the disk at once and atomically (temporary file in the
/// same folder, then rename); a failed write raises EIniWriteError and leaves the old file intact.
class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    QString FileName() const { return FFileName; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    /// Decimal, or hexadecimal after "0x"/"0X" (values longer than two characters); else the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);  // "1" / "0"
    /// Removes the section and its keys; other sections and unknown lines stay.
    void EraseSection(const QString& section);

    /// Holds the writes that follow in memory (reads see them) until EndUpdate, so that a save of
    /// several keys replaces the old file whole or not at all.
    void BeginUpdate();
    /// Writes what was held in one atomic write; raises EIniWriteError with the old file intact.
    void EndUpdate();

private:
    QStringList Lines() const;
    QStringList LinesForWrite() const;
    void Save(const QStringList& lines);

    QString FFileName;
    std::optional<QStringList> FPending;
};

/// Raised when an INI file cannot be written: "In %s kann nicht geschrieben werden".
class EIniWriteError : public std::runtime_error {
public:
    explicit EIniWriteError(const QString& fileName);
    QString Message() const { return FMessage; }

private:
    QString FMessage;
};
