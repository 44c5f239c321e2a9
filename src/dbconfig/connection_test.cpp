// The connection test of the window ("Verbindungstest"). Kept apart from the window so that the test
// can grow without touching the window's own code.

#include "dbconfig/form_pwcrypt.h"

#include "config/credentials.h"
#include "config/korvin_connector.h"
#include "db/connection.h"
#include "db/db_error.h"
#include "dbconfig/tanv_server_check.h"
#include "gui/dialogs.h"

#include <QCheckBox>
#include <QLineEdit>
#include <exception>

namespace {

// Options the connection carries from its creation; a test adds to them but never removes one.
const char* const kCreationOptions[][2] = {
    {"Access.ConnectionTimeout", "15"},      {"Access.UseUnicode", "False"},
    {"Access.ExtendedAnsiSQL", "False"},     {"Access.ExclusiveLock", "False"},
    {"Access.ForceCreateDatabase", "False"}, {"PostgreSQL.ConnectionTimeout", "15"},
    {"PostgreSQL.IPVersion", "ivIPv4"},      {"PostgreSQL.SSLMode", "smDisable"},
    {"PostgreSQL.UseHttp", "False"},         {"PostgreSQL.HttpTrustServerCertificate", "False"},
    {"PostgreSQL.ProxyPort", "0"},           {"PostgreSQL.ProtocolVersion", "pvAuto"},
    {"PostgreSQL.UseUnicode", "True"},       {"PostgreSQL.MultipleConnections", "True"},
    {"PostgreSQL.UuidWithBraces", "True"},
};

/// Closes the connection on every way out of the test.
struct TCloseGuard {
    TConnection& Conn;
    ~TCloseGuard()
    {
        try {
            Conn.Close();
        } catch (const std::exception&) {
        }
    }
};

} // namespace

TConnection& TForm1::Connection()
{
    if (!FConnection) {
        auto conn = std::make_shared<TConnection>();
        conn->LoginPrompt = false;
        for (const auto& option : kCreationOptions)
            conn->SetSpecificOption(QString::fromLatin1(option[0]), QString::fromLatin1(option[1]));
        FConnection = std::move(conn);
    }
    return *FConnection;
}

void TForm1::btnConnectClick()
{
    if (CheckInput())
        TestConnection();
}

void TForm1::TestConnection()
{
    TConnection& conn = Connection();
    {
        conn.Close();
        TCloseGuard closeGuard{conn};
        const QString format = DBFormat();
        try {
            if (format == QLatin1String("MSACCESS")) {
                conn.ProviderName = QStringLiteral("Access");
                conn.Database = edDBFile->text();
                conn.Port = 0;
                conn.Username = AccessUserName();
                conn.Password = AccessPasswordFor(edDBFile->text());
            } else {
                if (format == QLatin1String("MSSQL")) {
                    conn.ProviderName = QStringLiteral("SQL Server");
                    conn.SetSpecificOption(QStringLiteral("SQL Server.Provider"), QStringLiteral("prAuto"));
                } else if (format == QLatin1String("ORACLE")) {
                    conn.ProviderName = QStringLiteral("Oracle");
                    conn.SetSpecificOption(QStringLiteral("Oracle.Direct"), chbxDirect->isChecked()
                                                                                ? QStringLiteral("True")
                                                                                : QStringLiteral("False"));
                } else if (format == QLatin1String("POSTGRESQL")) {
                    conn.ProviderName = QStringLiteral("PostgreSQL");
                    conn.SetSpecificOption(QStringLiteral("PostgreSQL.UseUnicode"), QStringLiteral("True"));
                    conn.SetSpecificOption(QStringLiteral("PostgreSQL.Schema"), edSchema->text());
                } else {
                    // No format chosen: a provider left from an earlier test must not answer for
                    // values it was never meant for.
                    conn.ProviderName.clear();
                }
                conn.Server = edServer->text();
                conn.Database = edDatabase->text();
                conn.Port = edPort->text().toInt(); // empty or not a number: 0
                conn.Username = edUser->text();
                conn.Password = edPW->text();
            }
            conn.Open();
            if (format == QLatin1String("POSTGRESQL"))
                conn.ExecSQL(QStringLiteral("select * from VNH_Version"));
            Boxes().Information(QStringLiteral("Verbindung zur Datenbank erfolgreich hergestellt"));
        } catch (const EDatabaseError& e) {
            Boxes().Error(QStringLiteral("Fehler beim Verbindungsaufbau zur Datenbank: ") + e.Message());
        } catch (const std::exception& e) {
            Boxes().Error(QStringLiteral("Fehler beim Verbindungsaufbau zur Datenbank: ") +
                          QString::fromLocal8Bit(e.what()));
        }
    }

    if (TANVPanelVisible() && !edTANVServerURL->text().isEmpty() && chbxTestTANV->isChecked())
        TestTANVServer();
}

void TForm1::TestTANVServer()
{
    // A request without any response raises; the application's error report shows its text.
    int status = TANVServerStatus(edTANVServerURL->text());
    if (status == 200)
        Boxes().Information(QStringLiteral("Verbindung zum TANV-Server erfolgreich hergestellt"));
    else
        Boxes().Error(QStringLiteral("Keine Verbindung zum TANV-Server. Status code = %1").arg(status));
}
