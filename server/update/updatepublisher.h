#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QVersionNumber>
#include <functional>
#include <memory>

namespace korvi::server {

// An update package as the server publishes it: read and escaped once at start, then sent
// to every client that reports a version below `below`.
struct UpdatePackage {
    // The file name under which the client stores the package.
    static constexpr QByteArrayView kTarget = "KORVIUP.EXX";
    // Larger files are refused: the client would refuse them too.
    static constexpr qint64 kMaxBytes = 256LL * 1024 * 1024;

    QString path;
    qint64 size = 0;       // bytes of the file
    QByteArray escaped;    // the file as the data messages carry it
    QVersionNumber below;

    static std::shared_ptr<const UpdatePackage> load(const QString& path, const QVersionNumber& below, QString& error);
};

// A version as "--update-below" takes it or a client reports it ("1.1.369", "V1.1.368");
// null when the text is not a version.
QVersionNumber parseVersion(QByteArrayView text);
// Whether a client that reported `reported` ("@SV=" body) gets the package. A report that
// is not a version gets nothing.
bool needsUpdate(QByteArrayView reported, const QVersionNumber& below);

// Sends one package to one connection: "@FIS", then "@FID" pieces, then "@FIE". A piece
// goes out only when the connection's send queue is short, so the price stream and every
// other message to this participant travel in between and nothing waits behind megabytes.
class PackageSender : public QObject {
    Q_OBJECT
public:
    // Escaped bytes per piece; a piece never ends inside an escape pair.
    static constexpr qsizetype kPieceBytes = 16 * 1024;
    // A new piece is queued only while less than this is waiting.
    static constexpr qint64 kLowWater = 16 * 1024;

    using Send = std::function<void(const QByteArray& framed)>;
    using Queued = std::function<qint64()>;

    PackageSender(std::shared_ptr<const UpdatePackage> package, QByteArray id, Send send, Queued queued,
                  QObject* parent = nullptr);

    // Queues what the send queue has room for; call when the connection wrote something.
    void pump();
    bool done() const { return m_done; }
    qint64 sentBytes() const { return m_offset; }

signals:
    void finished();

private:
    std::shared_ptr<const UpdatePackage> m_package;
    QByteArray m_id;
    Send m_send;
    Queued m_queued;
    qsizetype m_offset = 0;
    bool m_started = false;
    bool m_done = false;
};

} // namespace korvi::server
