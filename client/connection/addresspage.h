#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace korvi {

// The addresses read from one address page: up to three entries (1 to 3).
struct AddressList {
    QByteArray entry[5];
    int count = 0;
};

// Cuts a page into its address lines the way "tryloadtext" does; returns the length of
// the first entry, 0 when the page gave no address. A not-found page (it contains
// "existiert"), a text shorter than 6 characters or one without "." counts as empty.
int parseAddressPage(QByteArray text, AddressList& list);

// The page addresses tried in order for an edition.
QStringList addressPages(const QString& host1, const QString& host2, bool gameEdition);

// Reads one page over HTTP ("ReadWebPage"). Failures hand back what was read, possibly
// nothing; a page that does not answer within the time-out counts as empty.
class PageReader {
public:
    virtual ~PageReader() = default;
    virtual void read(const QUrl& url, std::function<void(QByteArray)> done) = 0;
};

class HttpPageReader : public QObject, public PageReader {
    Q_OBJECT
public:
    explicit HttpPageReader(QObject* parent = nullptr);
    void read(const QUrl& url, std::function<void(QByteArray)> done) override;
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

private:
    QNetworkAccessManager m_net;
    int m_timeoutMs = 5000;
};

} // namespace korvi
