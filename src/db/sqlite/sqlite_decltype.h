#pragma once

#include "db/field.h"

#include <QString>

/// The field type, size and scale for a column's declared type as written in CREATE TABLE ("INTEGER",
/// "VARCHAR(40)", "NUMERIC(30,10)", "unsigned big int"…). Names outside the known list follow the
/// database's own affinity rules; an empty declaration gives ftUnknown (the type then comes from the
/// values). Never fails: any text gives some definition.
TFieldDef SQLiteFieldDefFromDeclType(const QString& declaredType);
