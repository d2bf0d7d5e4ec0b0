#include "addresspage.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace korvi {

int parseAddressPage(QByteArray text, AddressList& list)
{
    if (text.contains("existiert") || text.size() < 6 || !text.contains('.'))
        text.clear();
    list.count = 0;
    for (;;) {
        const qsizetype crlf = text.indexOf("\r\n");
        const qsizetype lf = text.indexOf('\n');
        if (crlf >= 0 || lf >= 0) {
            const bool pair = crlf >= 0;
            const qsizetype p = pair ? crlf : lf;
            list.entry[++list.count] = text.left(p).trimmed();
            text = text.mid(p + (pair ? 2 : 1)).trimmed();
        } else {
            list.entry[++list.count] = text.trimmed();
            break;
        }
        if (list.count >= 3)
            break;
    }
    return static_cast<int>(list.entry[1].size());
}

QStringList addressPages(const QString& host1, const QString& host2, bool gameEdition)
{
    auto url = [](const QString& host, const char* path) {
        return QStringLiteral("http://") + host + QLatin1String(path);
    };
    if (gameEdition)
        return {url(host1, "/ipvarn3.html"), url(host2, "/ipvarn3.html")};
    return {url(host1, "/ipkorvi.html"), url(host2, "/ipkorvi.html"), url(host1, "/ip.html"),
            url(host2, "/ip.html")};
}

HttpPageReader::HttpPageReader(QObject* parent) : QObject(parent)
{
    m_net.setProxy(QNetworkProxy::NoProxy);
}

void HttpPageReader::read(const QUrl& url, std::function<void(QByteArray)> done)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Nordel:INET"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setTransferTimeout(m_timeoutMs);
    QNetworkReply* reply = m_net.get(request);
    connect(reply, &QNetworkReply::finished, this, [reply, done = std::move(done)] {
        // An error page still hands over its text; a failed connection gives what came.
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        done(body);
    });
}

} // namespace korvi
