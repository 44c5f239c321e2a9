#pragma once
// How values are written as literals in the SQL of each database system. Everything that differs
// between the systems' literal forms is answered here, so the builder never asks which system it has.

#include "db/date_time.h"
#include "db/provider_type.h"

#include <QByteArray>
#include <QString>

/// Literal forms and column quoting of one database system.
class TSQLDialect {
public:
    explicit TSQLDialect(TDBProviderType type);

    TDBProviderType Type() const { return FType; }

    /// The text in single quotes, written so that the database stores exactly this text.
    QString TextLiteral(const QString& text) const;
    /// TextLiteral appended to `out`.
    void AppendTextLiteral(QString& out, const QString& text) const;
    /// '1' or '0'.
    QString BooleanLiteral(bool value) const;
    /// Bytes as the system's hex literal; "" when the system has none (the value becomes NULL).
    QString BinaryLiteral(const QByteArray& bytes) const;
    /// A date (without time part) or a date and time, by the system's date patterns.
    QString DateTimeLiteral(TDateTime value) const;
    /// DateTimeLiteral appended to `out`.
    void AppendDateTimeLiteral(QString& out, TDateTime value) const;
    /// A finite double that reads back as exactly this value; "" for NaN and infinities.
    QString FloatLiteral(double value) const;
    /// A time of day (the fraction of the value).
    QString TimeLiteral(TDateTime value) const;
    /// The column name as it stands in a column list.
    QString ColumnName(const QString& name) const;

private:
    TDBProviderType FType;
};

/// Shortest decimal text that reads back as the same double, with "." and no locale; "" for NaN and
/// infinities, which have no literal.
QString FloatLiteral(double value);
/// True when the text is a plain decimal number: optional "-", digits, optional "." and digits.
bool IsDecimalNumberText(const QString& text);
