#include "clientapp.h"

#include "seams.h"
#include "startup.h"
#include "textfile.h"

#include <QCoreApplication>
#include <QVersionNumber>

namespace korvi {

ClientApp::ClientApp(const QString& workDir, Prompts& prompts, Sound& sound, Clock& clock,
                     PageReader& pages, QObject* parent)
    : QObject(parent), dispatcher(state, incoming),
      connection(state, dispatcher, clock, incoming, outgoing, pages),
      control(connection, incoming, protocol, sound, clock), m_prompts(prompts), m_sound(sound),
      m_clock(clock)
{
    state.workDir = workDir;
    state.settings.wexIp = "127.0.0.1";
    dispatcher.onControl([this](QByteArrayView line) { control.handle(line); });
    control.exitNow = [this] { emit exitRequested(); };
    connect(&connection, &Connection::userNameChanged, this, &ClientApp::userNameChanged);

    m_timer1.setInterval(150);
    connect(&m_timer1, &QTimer::timeout, this, &ClientApp::refreshTick);
}

bool ClientApp::formLoad(const QString& programPath)
{
    state.GameEdition = editionFromExecutable(programPath);
    const QVersionNumber version = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    m_caption = mainCaption(version.majorVersion(), version.minorVersion(), version.microVersion(),
                            state.GameEdition);
    if (exist(state.filePath(QStringLiteral("KORVIUP.EXX")))) {
        QTimer::singleShot(50, this, &ClientApp::updateHandOff);
        return false;
    }
    const QString installed = state.filePath(QStringLiteral("KORVIUP.EXE"));
    if (exist(installed))
        loesch_datei(installed); // a failed delete does not stop the start
    return true;
}

bool ClientApp::initialise()
{
    if (!loadSettingsFile(state.workDir, state.settings))
        protocol.add(QStringLiteral("Keine Einstellungen gefunden: ") + QLatin1String(kSettingsFileName));
    applySettings();
    InitUser(state);

    if (canAutostart(state.UserName, state.UserPassword)) {
        if (m_prompts.autostart() == Prompts::AutostartChoice::Credentials) {
            QString user = fromWire(state.UserName), password = fromWire(state.UserPassword);
            if (!m_prompts.credentials(user, password))
                return false;
            state.UserName = toWire(user);
            state.UserPassword = toWire(password);
        }
    } else {
        m_prompts.message(QString::fromLatin1(kCredentialsHint));
        QString user = fromWire(state.UserName), password = fromWire(state.UserPassword);
        if (!m_prompts.credentials(user, password))
            return false;
        state.UserName = toWire(user);
        state.UserPassword = toWire(password);
    }
    updateUserKey(state);
    emit userNameChanged(fromWire(state.UserName));

    connection.load(state.settings.ipCheck != 0);
    connection.login();
    m_timer1.start();
    return true;
}

void ClientApp::newCredentials()
{
    QString user = fromWire(connection.userField()), password = fromWire(connection.passwordField());
    if (!m_prompts.credentials(user, password))
        return;
    connection.setUserField(toWire(user));
    connection.setPasswordField(toWire(password));
    connection.logout();
    QTimer::singleShot(200, this, [this] { connection.login(); });
}

void ClientApp::shutdown()
{
    m_timer1.stop();
    connection.unload();
    collectSettings();
    if (!saveSettingsFile(state.workDir, state.settings))
        protocol.add(QStringLiteral("F:SaveInit ") + QLatin1String(kSettingsFileName));
    if (saveExtraFiles)
        saveExtraFiles();
}

void ClientApp::applySettings()
{
    state.UserName = state.settings.userName;
    state.ServerAddress = state.settings.serverAddress;
    state.UserPassword = state.settings.password;
}

void ClientApp::collectSettings()
{
    state.settings.userName = state.UserName;
    state.settings.serverAddress = state.ServerAddress;
    state.settings.password = state.UserPassword;
}

} // namespace korvi
