#include "dbconfig/tanv_server_check.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <memory>
#include <stdexcept>

int TANVServerStatus(const QString& serverUrl, int timeoutMs)
{
    QNetworkAccessManager manager;
    // The transfer time-out aborts when nothing moves for that long, while connecting as well as
    // while waiting for the response.
    manager.setTransferTimeout(timeoutMs);
    manager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);

    QNetworkRequest request(QUrl(QStringLiteral("https://") + serverUrl + QStringLiteral("/config/alive")));
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    // The servers run with certificates of their own making; every certificate is accepted.
    QObject::connect(reply.get(), &QNetworkReply::sslErrors, reply.get(),
                     [r = reply.get()](const QList<QSslError>&) { r->ignoreSslErrors(); });

    // Synchronous for the caller: the window takes no input until the answer is there.
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        throw std::runtime_error(reply->errorString().toStdString());
    return status.toInt();
}
