#pragma once

#include "db/date_time.h"
#include "db/field_type.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

/// Description of one result column, as a provider reports it.
struct TFieldDef {
    QString Name;
    TFieldType DataType = ftUnknown;
    int Size = 0;           // declared length for text and binary, precision for exact numerics, else 0
    int Scale = 0;          // digits after the point for exact numerics
    TFieldKind Kind = fkData;
    bool Required = false;  // NOT NULL where the provider knows it
    bool HasDefault = false;  // column has a default or is generated, where the provider knows it
};

/// One column of the current row of a query. The value is held in one canonical form per type:
/// text, GUID: QString; integer types: qlonglong; float types: double; currency and BCD types:
/// QString with the exact decimal text ("." as separator, no exponent); Boolean: bool; date/time
/// types: TDateTime as double; binary types: QByteArray. NULL is an invalid QVariant.
class TField {
public:
    explicit TField(TFieldDef def);

    const TFieldDef& Def() const { return FDef; }
    QString FieldName() const { return FDef.Name; }
    TFieldType DataType() const { return FDef.DataType; }
    TFieldKind FieldKind() const { return FDef.Kind; }
    int Size() const { return FDef.Size; }

    bool IsNull() const { return !FValue.isValid(); }

    /// Text form: "" for NULL; floats in general format with the locale's decimal separator
    /// (15 significant digits); exact numerics as stored; Boolean "True"/"False"; dates as
    /// "yyyy-mm-dd", times as "hh:nn:ss", date-times as "yyyy-mm-dd hh:nn:ss" (times with ".zzz" when they
    /// have milliseconds, so none are lost); binary as raw bytes
    /// read as Latin-1.
    QString AsString() const;
    qint32 AsInteger() const;   // raises when the value does not fit in 32 bits
    qint64 AsLargeInt() const;
    double AsFloat() const;
    TDateTime AsDateTime() const;  // 0 for NULL
    bool AsBoolean() const;
    QByteArray AsBytes() const;
    /// The canonical value (invalid QVariant for NULL).
    QVariant AsVariant() const { return FValue; }

    // Writing converts to this field's type; a value that does not convert raises EDatabaseError.
    void SetAsString(const QString& value);
    void SetAsInteger(qint32 value);
    void SetAsLargeInt(qint64 value);
    void SetAsFloat(double value);
    void SetAsDateTime(TDateTime value);
    void SetAsBoolean(bool value);
    void SetAsBytes(const QByteArray& value);
    void SetAsVariant(const QVariant& value);
    void Clear();

    /// True once the value was written (or cleared) since the row was appended.
    bool Assigned() const { return FAssigned; }

    // For providers: set the value read from the database, already in canonical form.
    void LoadValue(QVariant value) { FValue = std::move(value); }
    void ResetAssigned() { FAssigned = false; }

private:
    void Store(QVariant value);

    TFieldDef FDef;
    QVariant FValue;
    bool FAssigned = false;
};
