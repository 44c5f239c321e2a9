// The TANV server test of the window against a small HTTPS server on 127.0.0.1 whose certificate is
// made at test time.

#include "form_fixture.h"

#include <QCheckBox>
#include <QLineEdit>

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdexcept>

namespace {

QByteArray BioText(BIO* bio)
{
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(size));
}

/// A self-signed certificate for 127.0.0.1 with its EC key, both as PEM.
struct TSelfSigned {
    QByteArray Certificate;
    QByteArray Key;
};

TSelfSigned MakeSelfSigned()
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
    if (!key || !cert)
        throw std::runtime_error("cannot make a key");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                               -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509_set_pubkey(cert.get(), key.get());
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
        throw std::runtime_error("cannot sign the certificate");

    std::unique_ptr<BIO, decltype(&BIO_free)> certBio(BIO_new(BIO_s_mem()), BIO_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> keyBio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(certBio.get(), cert.get());
    PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    return {BioText(certBio.get()), BioText(keyBio.get())};
}

/// Answers every request with the response configured for its path, then closes the connection.
class THttpsServer : public QTcpServer {
public:
    THttpsServer()
    {
        TSelfSigned pem = MakeSelfSigned();
        FConfig = QSslConfiguration::defaultConfiguration();
        FConfig.setLocalCertificate(QSslCertificate(pem.Certificate));
        FConfig.setPrivateKey(QSslKey(pem.Key, QSsl::Ec));
        FConfig.setPeerVerifyMode(QSslSocket::VerifyNone);
        if (!listen(QHostAddress::LocalHost))
            throw std::runtime_error("cannot listen");
    }

    /// Full response head (status line and headers) for a request path.
    std::map<QByteArray, QByteArray> Responses;
    QList<QByteArray> RequestedPaths;

    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QSslSocket(this);
        socket->setSslConfiguration(FConfig);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QSslSocket::readyRead, socket, [this, socket] { Serve(socket); });
        socket->startServerEncryption();
    }

private:
    void Serve(QSslSocket* socket)
    {
        QByteArray& request = FPending[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        QByteArray path = request.split(' ').value(1);
        RequestedPaths.append(path);
        auto it = Responses.find(path);
        QByteArray head = it != Responses.end() ? it->second : QByteArray("HTTP/1.1 404 Not Found");
        socket->write(head + "\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
        socket->disconnectFromHost();
        FPending.erase(socket);
    }

    QSslConfiguration FConfig;
    std::map<QSslSocket*, QByteArray> FPending;
};

class TANVServerTest : public FormTest {
protected:
    void SetUp() override
    {
        if (!QSslSocket::supportsSsl())
            GTEST_SKIP() << "Qt has no TLS back-end here";
        FServer = std::make_unique<THttpsServer>();
        FServer->Responses["/config/alive"] = "HTTP/1.1 200 OK";
        FServer->Responses["/down/config/alive"] = "HTTP/1.1 503 Service Unavailable";
        FServer->Responses["/moved/config/alive"] = "HTTP/1.1 302 Found\r\nLocation: /config/alive";
    }

    std::unique_ptr<THttpsServer> FServer;
};

} // namespace

TEST_F(TANVServerTest, ReportsTheStatusOfTheFinalResponse)
{
    struct TCase {
        const char* Path;
        const char* Error;
        const char* Information;
    };
    const TCase cases[] = {
        {"", nullptr, "Verbindung zum TANV-Server erfolgreich hergestellt"},
        {"/moved", nullptr, "Verbindung zum TANV-Server erfolgreich hergestellt"},
        {"/down", "Keine Verbindung zum TANV-Server. Status code = 503", nullptr},
        {"/none", "Keine Verbindung zum TANV-Server. Status code = 404", nullptr},
    };
    auto form = MakeForm();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Path);
        Boxes.Errors.clear();
        Boxes.Others.clear();
        form->edTANVServerURL->setText(FServer->Address() + QString::fromLatin1(c.Path));
        form->TestTANVServer();
        EXPECT_EQ(Boxes.Errors, c.Error ? QStringList{QString::fromUtf8(c.Error)} : QStringList());
        EXPECT_EQ(Boxes.Others,
                  c.Information ? QStringList{QString::fromUtf8(c.Information)} : QStringList());
    }
    EXPECT_EQ(FServer->RequestedPaths,
              (QList<QByteArray>{"/config/alive", "/moved/config/alive", "/config/alive",
                                 "/down/config/alive", "/none/config/alive"}));
}

TEST_F(TANVServerTest, NoResponseRaisesTheNetworkText)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    QString address = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    auto form = MakeForm();
    form->edTANVServerURL->setText(address);
    try {
        form->TestTANVServer();
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STRNE(e.what(), "");
    }
    EXPECT_TRUE(Boxes.Errors.isEmpty());
    EXPECT_TRUE(Boxes.Others.isEmpty());
}

// The connection test ends with the server test only when the panel shows, holds a URL and is ticked.
TEST_F(TANVServerTest, RunsAfterTheDatabaseTestWhenAskedFor)
{
    struct TCase {
        bool Visible, Ticked, WithUrl;
    };
    const TCase cases[] = {{true, true, true}, {false, true, true}, {true, false, true}, {true, true, false}};
    auto form = MakeForm();
    SelectFormat(*form, QStringLiteral("MSACCESS"));
    form->edDBFile->setText(Path(QStringLiteral("missing.mdb")));
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Visible << c.Ticked << c.WithUrl);
        FServer->RequestedPaths.clear();
        Boxes.Errors.clear();
        Boxes.Others.clear();
        form->SetTANVPanelVisible(c.Visible);
        form->chbxTestTANV->setChecked(c.Ticked);
        form->edTANVServerURL->setText(c.WithUrl ? FServer->Address() : QString());
        form->btnConnectClick();
        bool expected = c.Visible && c.Ticked && c.WithUrl;
        EXPECT_EQ(FServer->RequestedPaths.size(), expected ? 1 : 0);
        // The database test failed (no such file) and still reported first.
        ASSERT_EQ(Boxes.Errors.size(), 1);
        EXPECT_TRUE(
            Boxes.Errors.first().startsWith(QStringLiteral("Fehler beim Verbindungsaufbau zur Datenbank: ")));
        EXPECT_EQ(Boxes.Others,
                  expected ? QStringList{QStringLiteral("Verbindung zum TANV-Server erfolgreich hergestellt")}
                           : QStringList());
    }
}
