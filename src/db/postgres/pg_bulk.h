#pragma once
// Rows written by COPY … FROM STDIN with the effect of one INSERT statement per row (TBulkInsert).
//
// A row's value literals are those of its INSERT statement. A quoted literal is read by the column
// type's input function in both ways, so its content becomes the COPY field; "NULL" becomes \N. An
// unquoted number is a typed constant in the statement, cast to the column's type, so it is carried
// only where that cast and the type's input function give the same result. A column that a row
// leaves out gets \N where the column has no default, and otherwise a COPY of its own that does not
// name it. Tables where COPY behaves differently from single INSERTs (rules, row security, insert
// triggers, a foreign key to the table itself, which COPY checks only at its end) get no writer.
// Nor does a batch draw from a sequence, which a taken-back batch would not give back: a table with
// such a default on a column outside the list gets no writer, and a row leaving out a listed column
// with one is left to its statement.

#include "db/driver.h"

#include <QByteArray>
#include <QStringView>
#include <memory>

struct TPgContext;

/// Which unquoted number literals a column may take over COPY.
enum TPgNumberUse {
    pnNone,             // none: the constant's cast differs from the type's input function
    pnCanonicalInteger, // integers written as their cast to text writes them (text types)
    pnInteger,          // integer constants (integer types)
    pnAny,              // integer and decimal constants (numeric and floating-point types)
};

/// The number use of a column whose type, after unwrapping a domain, has this OID.
TPgNumberUse PgNumberUseOfType(unsigned typeOid);

/// Appends the COPY text field for an INSERT value literal in the forms the statement builder
/// writes for PostgreSQL. False for a literal that cannot be carried exactly; `out` may then hold
/// part of the field.
bool PgLiteralToCopyField(QStringView literal, TPgNumberUse use, QByteArray& out);

/// The writer for `table` and `columns` on the context's main session, or nullptr (see above).
std::unique_ptr<TBulkInsert> OpenPgBulkInsert(const std::shared_ptr<TPgContext>& context,
                                              const QString& table, const QStringList& columns);
