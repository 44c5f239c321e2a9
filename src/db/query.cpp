#include "db/query.h"

#include "db/connection.h"
#include "db/db_error.h"
#include "db/driver.h"

#include <QRegularExpression>

TQuery::TQuery(TConnection& connection) : FConnection(connection)
{
    FConnection.AttachQuery(this);
}

TQuery::~TQuery()
{
    Close();
    if (!FConnectionGone)
        FConnection.DetachQuery(this);
}

void TQuery::SetSQL(const QString& sql)
{
    Close();
    FSQL = sql;
}

void TQuery::Open()
{
    if (Active())
        return;
    if (FConnectionGone)
        throw EDatabaseError(QStringLiteral("Die Verbindung der Abfrage besteht nicht mehr"));
    TDriver& driver = FConnection.Driver();
    std::unique_ptr<TCursor> cursor = driver.OpenCursor(FSQL);
    std::vector<std::unique_ptr<TField>> fields;
    for (const TFieldDef& def : cursor->Fields())
        fields.push_back(std::make_unique<TField>(def));
    FFields = std::move(fields);
    FRow.assign(FFields.size(), QVariant());
    FCursor = std::move(cursor);
    FState = dsBrowse;
    FEof = false;
    try {
        LoadRow();
    } catch (...) {
        Close();
        throw;
    }
}

void TQuery::Close()
{
    FCursor.reset();
    FFields.clear();
    FRow.clear();
    FSavedRow.clear();
    FState = dsInactive;
    FEof = true;
}

void TQuery::LoadRow()
{
    if (!FCursor || !FCursor->Fetch(FRow)) {
        // Past the last row the fields keep the last row's values; the cursor is given back at once so
        // the session holds no open statement for a result that is read to its end.
        FEof = true;
        FCursor.reset();
        return;
    }
    for (size_t i = 0; i < FFields.size() && i < FRow.size(); ++i) {
        FFields[i]->LoadValue(std::move(FRow[i])); // the next fetch fills the row anew
        FFields[i]->ResetAssigned();
    }
}

void TQuery::Next()
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("Die Abfrage ist nicht geöffnet"));
    if (FState == dsInsert || FState == dsEdit)
        Post();
    if (FEof)
        return;
    LoadRow();
}

TField& TQuery::Fields(int index)
{
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError(QStringLiteral("Feldindex %1 liegt außerhalb des Bereichs (0 bis %2)")
                                 .arg(index)
                                 .arg(FieldCount() - 1));
    return *FFields[static_cast<size_t>(index)];
}

TField* TQuery::FindField(const QString& name)
{
    for (const auto& field : FFields) {
        if (field->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return field.get();
    }
    return nullptr;
}

TField& TQuery::FieldByName(const QString& name)
{
    if (TField* field = FindField(name))
        return *field;
    throw EDatabaseError(QStringLiteral("Feld '%1' nicht gefunden").arg(name));
}

void TQuery::Append()
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("Die Abfrage ist nicht geöffnet"));
    if (FState == dsInsert || FState == dsEdit)
        Post();
    FSavedRow.clear();
    for (const auto& field : FFields) {
        FSavedRow.push_back(field->AsVariant());
        field->LoadValue(QVariant());
        field->ResetAssigned();
    }
    FState = dsInsert;
}

void TQuery::Post()
{
    if (FState != dsInsert && FState != dsEdit)
        throw EDatabaseError(QStringLiteral("Die Abfrage ist nicht im Einfüge- oder Bearbeitungsmodus"));
    std::vector<const TField*> assigned;
    for (const auto& field : FFields) {
        if (field->Assigned())
            assigned.push_back(field.get());
    }
    // A failed insert leaves the row in insert state, as it was, for Cancel or another try.
    FConnection.Driver().InsertRow(TableName(), assigned);
    for (const auto& field : FFields)
        field->ResetAssigned();
    FSavedRow.clear();
    FState = dsBrowse;
}

void TQuery::Cancel()
{
    if (FState != dsInsert && FState != dsEdit)
        return;
    for (size_t i = 0; i < FFields.size(); ++i) {
        FFields[i]->LoadValue(i < FSavedRow.size() ? FSavedRow[i] : QVariant());
        FFields[i]->ResetAssigned();
    }
    FSavedRow.clear();
    FState = dsBrowse;
}

QString TQuery::TableName() const
{
    // "select * from <table> [where ...]"; the name may be quoted and carry a schema.
    static const QRegularExpression pattern(
        QStringLiteral(
            "^\\s*select\\s+\\*\\s+from\\s+((?:\"[^\"]*\"|\\[[^\\]]*\\]|`[^`]*`|[^\\s;,()\"\\[`.]+)"
            "(?:\\.(?:\"[^\"]*\"|\\[[^\\]]*\\]|`[^`]*`|[^\\s;,()\"\\[`.]+))*)"
            "(?:\\s+where\\b.*|\\s*;?\\s*)$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QRegularExpressionMatch match = pattern.match(FSQL);
    if (!match.hasMatch())
        throw EDatabaseError(
            QStringLiteral("Die Tabelle zum Einfügen lässt sich aus der Abfrage \"%1\" nicht bestimmen")
                .arg(FSQL));
    return match.captured(1);
}

void TSQLStatement::Execute()
{
    FRowsAffected = FConnection->ExecSQLRows(FSQL);
}
