#include "startup.h"

#include "numbers.h"
#include "textfile.h"

#include <QFileInfo>

namespace korvi {

const char* const kCredentialsHint =
    "Geben Sie im folgenden Fenster bitte Ihren mitgeteilten Usernamen und das zugeh\xf6rige "
    "Pa\xdfwort ein !";

qint16 editionFromExecutable(const QString& programPath)
{
    return QFileInfo(programPath).completeBaseName().toUpper() == QLatin1String("KORVIGAME") ? 1 : 0;
}

QString mainCaption(int major, int minor, int revision, qint16 gameEdition)
{
    return QStringLiteral("K o r v i 2    V%1.%2.%3%4")
        .arg(major)
        .arg(minor)
        .arg(revision)
        .arg(gameEdition == 1 ? QStringLiteral(" Game") : QStringLiteral(" QXC"));
}

bool canAutostart(const QByteArray& user, const QByteArray& password)
{
    return !user.isEmpty() && !password.isEmpty() && user != "-" && password != "-";
}

bool AutostartCountdown::tick()
{
    m_ms -= kAutostartTickMs;
    return m_ms < 1;
}

QString AutostartCountdown::label() const
{
    return QStringLiteral("Autostart:") + QString::fromLatin1(writeDouble(m_ms)) + QStringLiteral(" msec");
}

StartArguments parseStartArguments(const QStringList& arguments)
{
    StartArguments out;
    QStringList rest;
    const QString option = QStringLiteral("--server");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == option && i + 1 < arguments.size())
            out.server = toWire(arguments[++i].trimmed());
        else if (a.startsWith(option + QLatin1Char('=')))
            out.server = toWire(a.mid(option.size() + 1).trimmed());
        else
            rest << a;
    }
    out.startOption = rest.join(QLatin1Char(' '));
    return out;
}

} // namespace korvi
