#include "db/connection.h"
#include "db/db_error.h"
#include "db/query.h"
#include "db/sqlite/sqlite_decltype.h"
#include "db/sqlite/sqlite_values.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(SQLiteDeclType, DeclaredTypesMapToFieldTypes)
{
    struct Case {
        const char* Declared;
        TFieldType Type;
        int Size;
        int Scale;
    } cases[] = {
        {"INTEGER", ftLargeint, 0, 0},
        {"int", ftInteger, 0, 0},
        {"BIGINT", ftLargeint, 0, 0},
        {"unsigned big int", ftLargeint, 0, 0},
        {"SMALLINT", ftSmallint, 0, 0},
        {"TINYINT", ftSmallint, 0, 0},
        {"int unsigned", ftInteger, 0, 0},
        {"REAL", ftFloat, 0, 0},
        {"double precision", ftFloat, 0, 0},
        {"FLOAT", ftFloat, 0, 0},
        {"NUMERIC(30, 10)", ftFMTBcd, 30, 10},
        {"decimal(10)", ftFMTBcd, 10, 0},
        {"MONEY", ftCurrency, 19, 4},
        {"TEXT", ftWideMemo, 0, 0},
        {"CLOB", ftWideMemo, 0, 0},
        {"VARCHAR(40)", ftWideString, 40, 0},
        {"nvarchar (12)", ftWideString, 12, 0},
        {"character varying(5)", ftWideString, 5, 0},
        {"VARCHAR", ftWideMemo, 0, 0},
        {"CHAR(3)", ftFixedWideChar, 3, 0},
        {"NCHAR(99999999999999999999)", ftFixedWideChar, INT_MAX, 0},
        {"BLOB", ftBlob, 0, 0},
        {"BINARY(16)", ftBytes, 16, 0},
        {"VARBINARY(100)", ftVarBytes, 100, 0},
        {"DATE", ftDate, 0, 0},
        {"TIME", ftTime, 0, 0},
        {"DATETIME", ftDateTime, 0, 0},
        {"timestamp", ftDateTime, 0, 0},
        {"BOOLEAN", ftBoolean, 0, 0},
        {"bit", ftBoolean, 0, 0},
        {"GUID", ftGuid, 38, 0},
        {"uuid", ftGuid, 38, 0},
        // Names outside the list follow the database's affinity rules.
        {"MYINTEGRAL", ftLargeint, 0, 0},
        {"LONGCHAR(7)", ftWideString, 7, 0},
        {"FLOATING POINT", ftLargeint, 0, 0}, // "INT" comes first in those rules
        {"DOUBLE UNSIGNED", ftFloat, 0, 0},
        {"anything", ftWideMemo, 0, 0},
        {"", ftUnknown, 0, 0},
        {"VARCHAR(-3)", ftWideMemo, 0, 0},
        {"VARCHAR(", ftWideMemo, 0, 0},
    };
    for (const Case& c : cases) {
        TFieldDef def = SQLiteFieldDefFromDeclType(QString::fromLatin1(c.Declared));
        EXPECT_EQ(FieldTypeName(def.DataType).toStdString(), FieldTypeName(c.Type).toStdString())
            << c.Declared;
        EXPECT_EQ(def.Size, c.Size) << c.Declared;
        EXPECT_EQ(def.Scale, c.Scale) << c.Declared;
    }
}

namespace {

class SQLiteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FPath = FDir.filePath(QStringLiteral("vnh.sqlite"));
        FConn.ProviderName = QStringLiteral("SQLite");
        FConn.Database = FPath;
    }

    void OpenCreating()
    {
        FConn.SetSpecificOption(QStringLiteral("SQLite.CreateDatabase"), QStringLiteral("True"));
        FConn.Open();
    }

    QString OpenError()
    {
        try {
            FConn.Open();
        } catch (const EDatabaseError& e) {
            return e.Message();
        }
        return QStringLiteral("<opened>");
    }

    QTemporaryDir FDir;
    QString FPath;
    TConnection FConn;
};

} // namespace

TEST_F(SQLiteTest, MissingFileIsAnErrorUnlessCreatingIsAsked)
{
    QString message = OpenError();
    EXPECT_TRUE(message.contains(FPath)) << message.toStdString();
    EXPECT_FALSE(QFile::exists(FPath));
    OpenCreating();
    EXPECT_TRUE(FConn.Connected());
    EXPECT_TRUE(QFile::exists(FPath));
}

TEST_F(SQLiteTest, EncryptionKeyFailsCleanlyAndAnEmptyKeyOpens)
{
    OpenCreating();
    FConn.Close();
    FConn.SetSpecificOption(QStringLiteral("SQLite.EncryptionAlgorithm"), QStringLiteral("leBlowfish"));
    FConn.SetSpecificOption(QStringLiteral("SQLite.EncryptionKey"), QStringLiteral("Schluessel1!"));
    EXPECT_TRUE(OpenError().contains(QStringLiteral("verschlüsselte SQLite-Datenbanken")));
    EXPECT_FALSE(FConn.Connected());
    FConn.SetSpecificOption(QStringLiteral("SQLite.EncryptionKey"), QString());
    FConn.Open();
    EXPECT_TRUE(FConn.Connected());
}

TEST_F(SQLiteTest, FileThatIsNoDatabaseFailsOnOpening)
{
    QFile file(FPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    EXPECT_EQ(OpenError(), QStringLiteral("file is not a database"));
    EXPECT_FALSE(FConn.Connected());
}

TEST_F(SQLiteTest, StoredValuesOfEveryFormReadInTheColumnsType)
{
    OpenCreating();
    FConn.ExecSQL(QStringLiteral(
        "create table v (id integer, ts datetime, n int, amount numeric(10,2), flag boolean, other int);"
        "insert into v values (1, '2024-01-01T12:00:00.250', 1099511627776, 1.5, 1, 'abc');"
        "insert into v values (2, julianday('2024-01-01 12:00:00'), -5, 7, 'false', 1.5);"
        "insert into v values (3, 1704110400, 0, '0.10', 0, null);"
        "insert into v values (4, '2024-01-01 12:00:00+02:00', null, null, 'T', null);"));
    TQuery query(FConn);
    query.SetSQL(
        QStringLiteral("select v.*, count(*) over () as anzahl, 'x' || id as label from v order by id"));
    query.Open();
    EXPECT_EQ(query.FieldByName(QStringLiteral("anzahl")).DataType(), ftLargeint);
    EXPECT_TRUE(IsTextType(query.FieldByName(QStringLiteral("label")).DataType()));

    TField& ts = query.FieldByName(QStringLiteral("ts"));
    TField& n = query.FieldByName(QStringLiteral("n"));
    TField& amount = query.FieldByName(QStringLiteral("amount"));
    TField& flag = query.FieldByName(QStringLiteral("flag"));
    TField& other = query.FieldByName(QStringLiteral("other"));
    // An INT column keeps a value beyond 32 bits; only the 32-bit reading refuses it.
    EXPECT_EQ(n.AsLargeInt(), 1099511627776LL);
    EXPECT_THROW(n.AsInteger(), EDatabaseError);
    EXPECT_EQ(ts.AsString(), QStringLiteral("2024-01-01 12:00:00.250"));
    EXPECT_EQ(amount.AsString(), QStringLiteral("1.50"));
    EXPECT_TRUE(flag.AsBoolean());
    EXPECT_EQ(other.AsString(), QStringLiteral("abc")); // kept as stored, not lost
    query.Next();
    EXPECT_EQ(ts.AsString(), QStringLiteral("2024-01-01 12:00:00")); // Julian day
    EXPECT_EQ(amount.AsString(), QStringLiteral("7.00"));
    EXPECT_FALSE(flag.AsBoolean());
    EXPECT_EQ(other.AsFloat(), 1.5);
    query.Next();
    EXPECT_EQ(ts.AsString(), QStringLiteral("2024-01-01 12:00:00")); // seconds since 1970
    EXPECT_EQ(amount.AsString(), QStringLiteral("0.10"));
    query.Next();
    EXPECT_EQ(ts.AsString(), QStringLiteral("2024-01-01 12:00:00")); // the offset is not applied
    EXPECT_TRUE(flag.AsBoolean());
    EXPECT_TRUE(n.IsNull());
}

TEST_F(SQLiteTest, PostFindsTheTableOfTheQuery)
{
    OpenCreating();
    FConn.ExecSQL(QStringLiteral("create table \"vnh tab\" (id int, txt text)"));
    TQuery query(FConn);
    query.SetSQL(QStringLiteral("SELECT * FROM \"vnh tab\" WHERE id = -1 and txt = 'x'"));
    query.Open();
    query.Append();
    query.Fields(0).SetAsInteger(1);
    query.Post();
    query.Append(); // nothing assigned: the columns take their defaults
    query.Post();
    query.SetSQL(QStringLiteral("select id from \"vnh tab\""));
    query.Open();
    query.Append();
    query.Fields(0).SetAsInteger(2);
    EXPECT_THROW(query.Post(), EDatabaseError);
    query.Cancel();
    query.SetSQL(QStringLiteral("select count(*) from \"vnh tab\""));
    query.Open();
    EXPECT_EQ(query.Fields(0).AsInteger(), 2);
    EXPECT_EQ(query.FindField(QStringLiteral("nichts")), nullptr);
    EXPECT_THROW(query.FieldByName(QStringLiteral("nichts")), EDatabaseError);
    EXPECT_THROW(query.Fields(5), EDatabaseError);
}

TEST_F(SQLiteTest, RollbackWhileAQueryIsOpen)
{
    OpenCreating();
    FConn.ExecSQL(
        QStringLiteral("create table t (id int); insert into t values (1); insert into t values (2)"));
    TQuery reader(FConn);
    reader.SetSQL(QStringLiteral("select * from t"));
    reader.Open();
    FConn.StartTransaction();
    FConn.ExecSQL(QStringLiteral("insert into t values (3)"));
    FConn.Rollback();
    FConn.StartTransaction();
    FConn.ExecSQL(QStringLiteral("insert into t values (4)"));
    FConn.Commit();
    EXPECT_FALSE(FConn.InTransaction());
}

TEST_F(SQLiteTest, QueryMayOutliveItsConnection)
{
    auto conn = std::make_unique<TConnection>();
    conn->ProviderName = QStringLiteral("SQLite");
    conn->Database = QStringLiteral(":memory:");
    conn->Open();
    TQuery query(*conn);
    query.SetSQL(QStringLiteral("select 1 as eins"));
    query.Open();
    conn.reset();
    EXPECT_FALSE(query.Active());
    EXPECT_THROW(query.Open(), EDatabaseError);
}
