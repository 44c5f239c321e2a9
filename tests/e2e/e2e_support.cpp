#include "e2e_support.h"

#include "config/ini_file.h"
#include "config/password.h"
#include "db/date_time.h"
#include "db/db_error.h"
#include "db/query.h"
#include "support/test_env.h"
#include "transfer/sql_upd_ins.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <stdexcept>

namespace {

const QString kSection = QStringLiteral("Korvinconnection");

std::optional<TServerParams> ServerOf(TE2ESystem system)
{
    return system == esPostgreSQL ? TestPostgres() : system == esMySQL ? TestMariaDb() : std::nullopt;
}

void SetUpServer(TConnection& connection, TE2ESystem system, const QString& database)
{
    TServerParams server = *ServerOf(system);
    connection.ProviderName = system == esPostgreSQL ? QStringLiteral("PostgreSQL") : QStringLiteral("MySQL");
    connection.Server = server.Host;
    connection.Port = server.Port;
    connection.Username = server.User;
    connection.Password = server.Password;
    connection.Database = database;
}

// The server's own database for creating and dropping ours.
std::unique_ptr<TConnection> AdminConnection(TE2ESystem system)
{
    auto connection = std::make_unique<TConnection>();
    SetUpServer(*connection, system, system == esPostgreSQL ? QStringLiteral("postgres") : QString());
    connection->Open();
    return connection;
}

// Exact decimal text without trailing zeros after the point: "12.5000" and "12.5" read alike.
QString CanonicalDecimal(QString text)
{
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    if (text == QStringLiteral("-0"))
        text = QStringLiteral("0");
    return text;
}

QString CanonicalText(const TField& field)
{
    if (field.IsNull())
        return QStringLiteral("NULL");
    const TFieldType type = field.DataType();
    if (type == ftBoolean)
        return field.AsBoolean() ? QStringLiteral("1") : QStringLiteral("0");
    if (IsIntegerType(type))
        return QString::number(field.AsLargeInt());
    if (type == ftFloat || type == ftSingle || type == ftExtended)
        return CanonicalDecimal(QString::number(field.AsFloat(), 'g', 15));
    if (IsExactNumericType(type))
        return CanonicalDecimal(field.AsVariant().toString());
    if (IsDateTimeType(type))
        return DateTimeToQDateTime(field.AsDateTime()).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    if (IsBinaryType(type))
        return QString::fromLatin1(field.AsBytes().toHex());
    return field.AsString();
}

struct TTableRows {
    QStringList Columns;
    std::vector<QStringList> Rows;
};

TTableRows ReadRows(TConnection& connection, const QString& table, const QString& keyColumn,
                    const QStringList& onlyColumns)
{
    TQuery query(connection);
    query.SetSQL(QStringLiteral("select * from ") + table +
                 (keyColumn.isEmpty() ? QString() : QStringLiteral(" order by ") + keyColumn));
    query.Open();
    TTableRows result;
    std::vector<int> indexes;
    for (int i = 0; i < query.FieldCount(); ++i) {
        const QString name = query.Fields(i).FieldName();
        if (!onlyColumns.isEmpty() && !onlyColumns.contains(name, Qt::CaseInsensitive))
            continue;
        result.Columns << name.toUpper();
        indexes.push_back(i);
    }
    for (; !query.Eof(); query.Next()) {
        QStringList row;
        for (int i : indexes)
            row << CanonicalText(query.Fields(i));
        result.Rows.push_back(row);
    }
    if (keyColumn.isEmpty())
        std::sort(result.Rows.begin(), result.Rows.end());
    return result;
}

} // namespace

QString SystemName(TE2ESystem system)
{
    switch (system) {
    case esSQLite:
        return QStringLiteral("SQLite");
    case esPostgreSQL:
        return QStringLiteral("PostgreSQL");
    case esMySQL:
        return QStringLiteral("MySQL");
    }
    return {};
}

QString UnavailableReason(TE2ESystem system)
{
    if (system == esPostgreSQL && !TestPostgres())
        return QStringLiteral("no PostgreSQL test server: run the tests through scripts/test");
    if (system == esMySQL && !TestMariaDb())
        return QStringLiteral(
            "no MariaDB test server (VNH_TEST_MYSQL_* unset; scripts/services.sh start_mariadb)");
    return {};
}

TE2EDatabase::TE2EDatabase(TE2ESystem system) : FSystem(system)
{
    FConfigFile = FDir.filePath(QStringLiteral("database.vdbcfg"));
    if (system == esSQLite) {
        FFile = FDir.filePath(QStringLiteral("e2e.db"));
        TConnection creator;
        creator.ProviderName = QStringLiteral("SQLite");
        creator.Database = FFile;
        creator.SetSpecificOption(QStringLiteral("SQLite.CreateDatabase"), QStringLiteral("True"));
        creator.Open();
    } else {
        static int counter = 0;
        FName = QStringLiteral("vnh_e2e_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        auto admin = AdminConnection(system);
        admin->ExecSQL(QStringLiteral("drop database if exists ") + FName);
        admin->ExecSQL(QStringLiteral("create database ") + FName);
    }
    WriteConfig(FConfigFile, system == esSQLite       ? QStringLiteral("SQLITE")
                             : system == esPostgreSQL ? QStringLiteral("POSTGRESQL")
                                                      : QStringLiteral("MYSQL"));
}

TE2EDatabase::~TE2EDatabase()
{
    if (FSystem == esSQLite)
        return;
    try {
        auto admin = AdminConnection(FSystem);
        admin->ExecSQL(QStringLiteral("drop database if exists ") + FName +
                       (FSystem == esPostgreSQL ? QStringLiteral(" with (force)") : QString()));
    } catch (const EDatabaseError&) {
    }
}

std::unique_ptr<TConnection> TE2EDatabase::Connect() const
{
    auto connection = std::make_unique<TConnection>();
    if (FSystem == esSQLite) {
        connection->ProviderName = QStringLiteral("SQLite");
        connection->Database = FFile;
    } else {
        SetUpServer(*connection, FSystem, FName);
    }
    connection->Open();
    return connection;
}

QString TE2EDatabase::ConfigFileAs(const QString& formatWord) const
{
    QString fileName = FDir.filePath(formatWord.toLower() + QStringLiteral(".vdbcfg"));
    WriteConfig(fileName, formatWord);
    return fileName;
}

void TE2EDatabase::WriteConfig(const QString& fileName, const QString& formatWord) const
{
    TIniFile ini(fileName);
    ini.EraseSection(kSection);
    ini.WriteString(kSection, QStringLiteral("ProviderName"), formatWord);
    ini.WriteString(kSection, QStringLiteral("ProviderType"), formatWord);
    if (FSystem == esSQLite) {
        ini.WriteString(kSection, QStringLiteral("Database"), FFile);
        ini.WriteBool(kSection, QStringLiteral("Direct"), true);
        return;
    }
    TServerParams server = *ServerOf(FSystem);
    ini.WriteString(kSection, QStringLiteral("Server"), server.Host);
    ini.WriteString(kSection, QStringLiteral("Port"), QString::number(server.Port));
    ini.WriteString(kSection, QStringLiteral("Database"), FName);
    ini.WriteString(kSection, QStringLiteral("Username"), server.User);
    ini.WriteString(kSection, QStringLiteral("Password"),
                    server.Password.isEmpty() ? QString() : EncryptPassword(server.Password, QString()));
    ini.WriteBool(kSection, QStringLiteral("Direct"), false);
    if (FSystem == esPostgreSQL)
        ini.WriteString(kSection, QStringLiteral("Schema"), QStringLiteral("public"));
}

void TE2EDatabase::Exec(const QStringList& statements) const
{
    auto connection = Connect();
    for (const QString& statement : statements)
        connection->ExecSQL(statement);
}

qint64 TE2EDatabase::Count(const QString& table) const
{
    auto connection = Connect();
    TQuery query(*connection);
    query.SetSQL(QStringLiteral("select count(*) as n from ") + table);
    query.Open();
    return query.Fields(0).AsLargeInt();
}

void WriteAccessConfig(const QString& fileName, const QString& databaseFile)
{
    TIniFile ini(fileName);
    ini.EraseSection(kSection);
    ini.WriteString(kSection, QStringLiteral("ProviderName"), QStringLiteral("MSACCESS"));
    ini.WriteString(kSection, QStringLiteral("ProviderType"), QStringLiteral("MSACCESS"));
    ini.WriteString(kSection, QStringLiteral("Database"), databaseFile);
}

QString SampleTableDDL(TE2ESystem system, const QString& table)
{
    switch (system) {
    case esSQLite:
        return QStringLiteral("create table %1 (ID INTEGER PRIMARY KEY, I INT, S VARCHAR(50), T TEXT, "
                              "D DOUBLE, N NUMERIC(12,4), TS TIMESTAMP, DT DATE, B BOOLEAN, BI BIGINT)")
            .arg(table);
    case esPostgreSQL:
        return QStringLiteral("create table %1 (ID integer primary key, I integer, S varchar(50), T text, "
                              "D double precision, N numeric(12,4), TS timestamp, DT date, B boolean, "
                              "BI bigint)")
            .arg(table);
    case esMySQL:
        return QStringLiteral("create table %1 (ID int primary key, I int, S varchar(50), T text, D double, "
                              "N decimal(12,4), TS datetime, DT date, B boolean, BI bigint)")
            .arg(table);
    }
    return {};
}

void FillSampleTable(TConnection& connection, const QString& table, int rows)
{
    static const QString texts[] = {QStringLiteral("O'Brien; \"Zitat\""), QStringLiteral("Grüße aus Köln €"),
                                    QStringLiteral("a\\b\\'c"), QStringLiteral("  eingerückt  ")};
    TQuery query(connection);
    query.SetSQL(QStringLiteral("select * from ") + table);
    query.Open();
    connection.StartTransaction();
    for (int i = 1; i <= rows; ++i) {
        query.Append();
        query.FieldByName(QStringLiteral("ID")).SetAsInteger(i);
        if (i % 13 != 0) {
            query.FieldByName(QStringLiteral("I")).SetAsInteger((i * 7919) % 20001 - 10000);
            query.FieldByName(QStringLiteral("D")).SetAsFloat(i * 1.25 - 1000.1);
        }
        query.FieldByName(QStringLiteral("S"))
            .SetAsString(i % 5 < 4 ? texts[i % 5] : QStringLiteral("Zeile %1").arg(i));
        if (i % 3 != 0)
            query.FieldByName(QStringLiteral("T"))
                .SetAsString(QStringLiteral("Text %1\r\nzweite Zeile mit ' und %").arg(i));
        query.FieldByName(QStringLiteral("N"))
            .SetAsString(QStringLiteral("%1.%2").arg(i * 3 - 500).arg(i % 10000, 4, 10, QLatin1Char('0')));
        query.FieldByName(QStringLiteral("TS"))
            .SetAsDateTime(EncodeDate(1950, 1, 1) + (i * 37) % 29000 +
                           EncodeTime((i * 7) % 24, (i * 13) % 60, (i * 17) % 60));
        query.FieldByName(QStringLiteral("DT")).SetAsDateTime(EncodeDate(1900, 1, 1) + (i * 113) % 47000);
        if (i % 11 != 0)
            query.FieldByName(QStringLiteral("B")).SetAsBoolean(i % 2 == 0);
        query.FieldByName(QStringLiteral("BI")).SetAsLargeInt((i % 2 ? 5000000000LL : -5000000000LL) + i);
        query.Post();
    }
    connection.Commit();
}

QStringList CompareTables(TConnection& src, TConnection& dst, const QString& table, const QString& keyColumn)
{
    TTableRows source = ReadRows(src, table, keyColumn, {});
    TTableRows target = ReadRows(dst, table, keyColumn, source.Columns);
    QStringList differences;
    // Put the target's columns in the source's order.
    std::vector<int> order;
    for (const QString& column : source.Columns) {
        int index = static_cast<int>(target.Columns.indexOf(column));
        if (index < 0)
            differences << QStringLiteral("column %1 missing in the target").arg(column);
        order.push_back(index);
    }
    if (source.Rows.size() != target.Rows.size())
        differences << QStringLiteral("%1 rows in the source, %2 in the target")
                           .arg(source.Rows.size())
                           .arg(target.Rows.size());
    const size_t rows = std::min(source.Rows.size(), target.Rows.size());
    for (size_t r = 0; r < rows && differences.size() < 20; ++r) {
        for (qsizetype c = 0; c < source.Columns.size(); ++c) {
            if (order[c] < 0)
                continue;
            const QString& expected = source.Rows[r][c];
            const QString& actual = target.Rows[r][order[c]];
            if (expected != actual)
                differences << QStringLiteral("row %1 (%2) column %3: source [%4], target [%5]")
                                   .arg(r + 1)
                                   .arg(source.Rows[r].value(0), source.Columns[c], expected, actual);
        }
    }
    return differences;
}

QStringList ColumnValues(TConnection& connection, const QString& table, const QString& column,
                         const QString& keyColumn)
{
    TQuery query(connection);
    query.SetSQL(QStringLiteral("select %1 from %2 order by %3").arg(column, table, keyColumn));
    query.Open();
    QStringList values;
    for (; !query.Eof(); query.Next())
        values << CanonicalText(query.Fields(0));
    return values;
}

TTransferSummary StartTransfer(TMigration& migration, const QString& srcConfig, const QString& dstConfig,
                               const QStringList& tables, const QString& logDir,
                               const std::function<void()>& beforeRun)
{
    QString error = migration.TestConnections(srcConfig, dstConfig, logDir);
    if (!error.isEmpty())
        throw std::runtime_error(error.toStdString());
    migration.SetErrDir(logDir);
    migration.SetTableList(tables);
    // As the window and the headless run set it up.
    SQLUpdIns().SetRichEdit(true);
    if (beforeRun)
        beforeRun();
    migration.ClearMessages();
    migration.EmptyTargetTables();
    return migration.RunTransfer();
}

QByteArray FileBytes(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
