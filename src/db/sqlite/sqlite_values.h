#pragma once
// How values move between the database's storage classes and the fields' canonical forms.

#include "db/field.h"

#include <QVariant>

/// A stored number in a date/time column as a date/time value: Julian day numbers (the database's own
/// numeric date form), numbers beyond the Julian range of years 1 to 9999 as seconds since 1970
/// (the rule of the database's "auto" date modifier).
TDateTime SQLiteNumberToDateTime(double value);

/// The canonical value of a field from the value as stored (qlonglong, double, QString or QByteArray).
/// A value that does not fit the column's type is kept as stored rather than lost.
QVariant SQLiteValueToCanonical(const QVariant& stored, TField& scratch);

/// The value to bind for a field: qlonglong, double, QString, QByteArray or invalid for NULL. Dates go as
/// ISO text ("yyyy-mm-dd", "hh:nn:ss[.zzz]", "yyyy-mm-dd hh:nn:ss[.zzz]"), Booleans as 0/1.
QVariant SQLiteBindValue(const TField& field);
