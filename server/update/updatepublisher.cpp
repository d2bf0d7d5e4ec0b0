#include "updatepublisher.h"

#include "escaping.h"
#include "framing.h"

#include <QFile>

namespace korvi::server {

std::shared_ptr<const UpdatePackage> UpdatePackage::load(const QString& path, const QVersionNumber& below,
                                                         QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("update package %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    if (file.size() > kMaxBytes) {
        error = QStringLiteral("update package %1: larger than %2 bytes").arg(path).arg(kMaxBytes);
        return nullptr;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size()) {
        error = QStringLiteral("update package %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    auto package = std::make_shared<UpdatePackage>();
    package->path = path;
    package->size = bytes.size();
    package->escaped = EscapeEncode(bytes);
    package->below = below;
    return package;
}

QVersionNumber parseVersion(QByteArrayView text)
{
    QString s = QString::fromLatin1(text).trimmed();
    if (s.startsWith(QLatin1Char('V'), Qt::CaseInsensitive))
        s.remove(0, 1);
    qsizetype end = 0;
    const QVersionNumber v = QVersionNumber::fromString(s, &end);
    return end == s.size() ? v : QVersionNumber();
}

bool needsUpdate(QByteArrayView reported, const QVersionNumber& below)
{
    const QVersionNumber v = parseVersion(reported);
    return !v.isNull() && !below.isNull() && QVersionNumber::compare(v, below) < 0;
}

PackageSender::PackageSender(std::shared_ptr<const UpdatePackage> package, QByteArray id, Send send, Queued queued,
                             QObject* parent)
    : QObject(parent), m_package(std::move(package)), m_id(std::move(id)), m_send(std::move(send)),
      m_queued(std::move(queued))
{
}

void PackageSender::pump()
{
    if (m_done)
        return;
    const QByteArray& data = m_package->escaped;
    if (!m_started) {
        m_started = true;
        m_send(frame("@FIS=" + m_id + ';' + UpdatePackage::kTarget.toByteArray() + ';'
                     + QByteArray::number(data.size())));
    }
    while (m_offset < data.size() && m_queued() < kLowWater) {
        qsizetype length = std::min<qsizetype>(kPieceBytes, data.size() - m_offset);
        // In escaped data a 0xFE always starts a pair; keep the pair in one piece.
        if (m_offset + length < data.size() && data[m_offset + length - 1] == kEscapeByte)
            --length;
        QByteArray message;
        message.reserve(length + m_id.size() + 8);
        message.append("@FID=").append(m_id).append(';').append(data.constData() + m_offset, length);
        m_send(frame(message));
        m_offset += length;
    }
    if (m_offset >= data.size() && m_queued() < kLowWater) {
        m_send(frame("@FIE=" + m_id));
        m_done = true;
        emit finished();
    }
}

} // namespace korvi::server
