#include "serverlog.h"

#include <QDateTime>
#include <cstdio>

namespace korvi::server {

namespace {
bool g_enabled = true;
}

void setLogEnabled(bool enabled) { g_enabled = enabled; }

void logLine(const QString& text)
{
    if (!g_enabled)
        return;
    const QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")).toLatin1()
                            + text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace korvi::server
