#pragma once
// The record copy for tables copied through datasets, and date/time values as SQL literals.

#include "db/date_time.h"
#include "db/field_type.h"
#include "db/provider_type.h"

#include <QString>

class TQuery;

/// Lowest date the record copy writes: 1920-01-01 00:00.
TDateTime RecordCopyMinDate();
/// Highest date the record copy writes: the date at program start plus 3650 days. Fixed for the run.
TDateTime RecordCopyMaxDate();

/// True when `fieldName` is one of the ";"-separated names of `exclusionList` (without regard to case).
bool IsExcludedField(const QString& exclusionList, const QString& fieldName);

/// Copies the current row of `source` into the current row of `target`, field by field, by the target
/// field's type. Calculated and lookup fields and fields the target lacks are skipped; in edit state
/// the fields named in `exclusionList` (";"-separated) are skipped too.
void CopyDataSetRecord(TQuery& source, TQuery& target, const QString& exclusionList);

/// Copies one field by the rule of `fieldType` (the target field's type). Never fails: a value that
/// cannot be converted or stored is not written and the target field keeps what it had.
void CopyFieldValue(TQuery& source, TQuery& target, const QString& fieldName, TFieldType fieldType);

/// The value as a date or date-time literal of the database system.
QString DateTimeToSQLLiteral(TDBProviderType providerType, TDateTime value);
