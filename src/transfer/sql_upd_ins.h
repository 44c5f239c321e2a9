#pragma once
// Builds one INSERT statement per source row, the values written as literals of the target's dialect,
// and runs it through the program-wide transaction handler.

#include "db/date_time.h"
#include "db/provider_type.h"

#include <QString>

class TConnection;
class TField;

enum TSQLUpdateMode { uiInsert };

/// Collects the column names and value literals of one row and runs "insert into T (…) values (…)".
class TSQLUpdIns {
public:
    TSQLUpdIns();

    QString TableName() const { return FTableName; }
    void SetTableName(const QString& value) { FTableName = value; }
    TSQLUpdateMode DefaultMode() const { return FDefMode; }
    void SetDefaultMode(TSQLUpdateMode value) { FDefMode = value; }
    TConnection* Connection() const { return FCon; }
    /// The target connection (not owned); its provider selects the literal forms.
    void SetConnection(TConnection& connection);
    QString ErrorMessage() const { return FErrMsg; }
    void SetErrorMessage(const QString& value) { FErrMsg = value; }
    /// Whether rich text is turned into plain text; the main window switches it on when it is created.
    bool RichEdit() const { return FRichEdit; }
    void SetRichEdit(bool enabled) { FRichEdit = enabled; }

    TDBProviderType DBProvider() const { return FDBProvider; }
    /// Dates are held within these: 1900-01-01 and the date at construction plus 3650 days.
    TDateTime MinDate() const { return FMinDate; }
    TDateTime MaxDate() const { return FMaxDate; }

    /// Adds the field's name and its value literal.
    void AddInsField(const TField& field);
    /// Adds a column and a value text; an empty value or '' becomes NULL.
    void AddIns(const QString& columnName, const QString& valueText);
    /// Runs the statement of the collected lists. False (and nothing sent) when no column was added,
    /// False with ErrorMessage when the statement fails. The lists are empty afterwards in every case.
    bool Execute();
    /// Empties the lists; table, mode, connection and rich-text setting stay.
    void Reset();

    /// The field's value as a literal of the target's dialect; "" when it has none (NULL).
    QString FieldValueToSQL(const TField& field) const;
    /// A value text as AddIns puts it into the value list: an empty text or '' becomes NULL.
    static QString ValueListText(const QString& valueText);
    /// ValueListText(FieldValueToSQL(field)) appended to `out`, without a text of its own for the
    /// common kinds.
    void AppendValueListText(const TField& field, QString& out) const;
    /// A column name as AddIns puts it into the column list.
    QString ColumnListText(const QString& columnName) const;
    /// The statement for the collected lists.
    QString InsertStatement() const;
    QString FieldList() const { return FFldIns; }
    QString ValueList() const { return FValIns; }

private:
    /// A text field's value, rich text turned into plain text when that is switched on.
    QString TextValue(const TField& field) const;

    QString FFldIns;
    QString FValIns;
    QString FTableName;
    TConnection* FCon = nullptr;
    TSQLUpdateMode FDefMode = uiInsert;
    QString FErrMsg;
    TDBProviderType FDBProvider = dbpAccess;
    bool FRichEdit = false;
    TDateTime FMinDate;
    TDateTime FMaxDate;
};

/// The program-wide builder.
TSQLUpdIns& SQLUpdIns();

/// Replaces the last occurrence of the user's decimal separator in `text` by `replacement`.
QString ReplaceDecimalSeparator(const QString& text, QChar replacement);
