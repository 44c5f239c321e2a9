#pragma once
// Column types of PostgreSQL results and their values in the canonical forms of field.h.

#include "db/field.h"
#include "db/postgres/pg_session.h"

#include <QVariant>

/// How a column's text is turned into a value.
enum TPgValueKind {
    pkText,
    pkInteger,
    pkFloat,
    pkNumeric,
    pkBoolean,
    pkDate,
    pkTime,
    pkDateTime,
    pkBytea,
    pkUuid
};

struct TPgColumn {
    TFieldDef Def;
    TPgValueKind Kind = pkText;
};

/// The field definition for a result column of type `typeOid` with modifier `typmod` (-1: none).
TPgColumn DescribePgColumn(const QString& name, unsigned typeOid, int typmod);

/// The value of a column's text form. Dates beyond the calendar ('infinity') become the first or
/// last day of years 1 and 9999; numeric NaN and infinities keep their text.
QVariant PgTextToValue(TPgValueKind kind, const char* text, int length, bool uuidWithBraces);

/// A canonical value as a statement parameter for a column of type `type`: text, or raw bytes for
/// binary values; an invalid QVariant gives NULL.
TPgParam PgParamFromValue(const QVariant& value, TFieldType type);
