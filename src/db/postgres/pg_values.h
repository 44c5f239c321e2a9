#pragma once
// Column types of PostgreSQL results and their values in the canonical forms of field.h.

#include "db/field.h"
#include "db/postgres/pg_session.h"

#include <QVariant>

// Type OIDs of the built-in types (pg_type.dat).
enum TPgTypeOid : unsigned {
    kBool = 16,
    kBytea = 17,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kText = 25,
    kFloat4 = 700,
    kFloat8 = 701,
    kBpchar = 1042,
    kVarchar = 1043,
    kDate = 1082,
    kTime = 1083,
    kTimestamp = 1114,
    kTimestampTz = 1184,
    kNumeric = 1700,
    kUuid = 2950,
};

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
