#pragma once
// Building ODBC connection strings so that no value can add or change a parameter.

#include <QList>
#include <QString>
#include <optional>
#include <utility>

using TOdbcParam = std::pair<QString, QString>;
using TOdbcParams = QList<TOdbcParam>;

/// A value as it may stand after "key=": plain when that is unambiguous, otherwise in braces with
/// every "}" doubled. Raises EDatabaseError for a NUL character, which no connection string can carry.
QString QuoteOdbcValue(const QString& value);
/// "key=value;…" with every value quoted as needed. Raises EDatabaseError for a key that could
/// change the meaning of the string (empty, or holding one of ";={}" or surrounding spaces).
QString BuildOdbcConnectString(const TOdbcParams& params);
/// Reads a connection string back into its pairs (braced values unquoted); nothing when it is
/// malformed. The inverse of BuildOdbcConnectString.
std::optional<TOdbcParams> ParseOdbcConnectString(const QString& text);
