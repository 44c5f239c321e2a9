#pragma once
// Pieces of SQL text that the provider writes or looks at.

#include <QString>

/// A name exactly as the server reports it (a column of a result, a savepoint), quoted only when
/// it would not survive unquoted: upper-case letters, other characters, or a reserved word.
QString PgExactName(const QString& name);

/// A table name as the product's own SQL writes it (VNH_MSStamm), optionally with a schema: left
/// unquoted so that it folds to lower case like in the plain statements; quoted only where it could
/// not stand unquoted. Parts already in double quotes stay as they are.
QString PgTableName(const QString& table);

/// The first keyword of a statement in lower case, after blanks, comments and opening parentheses.
QString PgLeadingKeyword(const QString& sql);

/// True for a SET statement that changes the session (not SET LOCAL, SET TRANSACTION, SET
/// CONSTRAINTS, SET SESSION CHARACTERISTICS).
bool IsPgSessionSetting(const QString& sql);

/// The statement without trailing blanks and semicolons, so it can follow DECLARE … FOR.
QString PgStripTrailingSemicolons(const QString& sql);
