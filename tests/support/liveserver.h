#pragma once

#include "app/clientapp.h"
#include "support/doubles.h"
#include "support/scriptedpeer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace korvi::test {

// The real korvi-server (path from KORVI_SERVER) on ports the system chooses, with a data
// folder of its own and no daily close by the wall clock (a later "--close-time" in
// `extra` wins). A new data folder holds no participant: the first start adds "demo" with
// the password "demo" the way an operator does. Tests skip when the server is not built.
class LiveServer {
public:
    static bool available() { return !qEnvironmentVariableIsEmpty("KORVI_SERVER"); }

    bool start(const QStringList& extra = {})
    {
        if (!QFile::exists(m_data.path() + QStringLiteral("/korvi.sqlite"))) {
            QProcess admin;
            admin.start(QString::fromLocal8Bit(qgetenv("KORVI_SERVER")),
                        {"--data", m_data.path(), "--hash-iterations", "1000", "user", "add", "demo", "demo"});
            if (!admin.waitForFinished(20000) || admin.exitCode() != 0)
                return false;
        }
        m_process.start(QString::fromLocal8Bit(qgetenv("KORVI_SERVER")),
                        QStringList{"--port", "0", "--http-port", "0", "--data", m_data.path(),
                                    "--hash-iterations", "1000", "--close-time", "off"} + extra);
        if (!m_process.waitForStarted(5000))
            return false;
        QByteArray banner;
        const bool ok = waitFor([&] {
            banner += m_process.readAllStandardOutput();
            return banner.contains('\n') || m_process.state() == QProcess::NotRunning;
        }, 10000);
        const QList<QByteArray> words = banner.left(banner.indexOf('\n')).trimmed().split(' ');
        if (!ok || words.size() != 3 || words[0] != "listening")
            return false;
        port = static_cast<quint16>(words[1].toUInt());
        httpPort = static_cast<quint16>(words[2].toUInt());
        return port != 0;
    }
    ~LiveServer() { stop(); }
    // Ends the server; start() runs it again on the same data (on a new port).
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
        }
    }
    QString dataPath() const { return m_data.path(); }

    quint16 port = 0;
    quint16 httpPort = 0;

private:
    QTemporaryDir m_data;
    QProcess m_process;
};

// A client without windows, with recording doubles for every seam. It starts connected to
// a scripted peer and greeted, so orders can leave; `Offline` leaves it unconnected.
struct ClientFixture {
    enum Start { Online, Offline };
    ScriptedPeer peer;
    QTemporaryDir dir;
    FakePrompts prompts;
    FakeSound sound;
    FakeClock clock;
    FakePages pages;
    ClientApp app{dir.path(), prompts, sound, clock, pages};

    explicit ClientFixture(Start start = Online)
    {
        InitUser(app.state);
        if (start == Online)
            goOnline();
    }
    // Connects to the peer and lets the greeting arrive.
    void goOnline()
    {
        app.connection.setPortField(QByteArray::number(peer.port()));
        app.connection.connectwinsock("127.0.0.1");
        waitFor([&] { return app.connection.isConnected() && peer.connectionCount() > 0; });
        app.dispatcher.dispatch("@WELCOME");
    }

    // Logs in to the server on 127.0.0.1 and waits for the instrument list.
    bool loginTo(quint16 port, const QByteArray& user = "demo", const QByteArray& password = "demo")
    {
        app.state.ServerAddress = "127.0.0.1";
        app.state.UserName = user;
        app.state.UserPassword = password;
        updateUserKey(app.state);
        app.connection.load(false);
        app.connection.setPortField(QByteArray::number(port));
        app.connection.login();
        app.startRefresh();
        return waitFor([&] { return app.state.InstrumentCount > 0; }, 10000);
    }
    ~ClientFixture() { app.connection.logout(); }
};

// A client logged in to a server of its own.
struct LiveSession {
    LiveServer server;
    ClientFixture client;
    bool start(const QStringList& extra = {}) { return server.start(extra) && client.loginTo(server.port); }
};

} // namespace korvi::test

// Skips the test when the server is not built.
#define KORVI_NEEDS_SERVER()                                                                                   \
    if (!korvi::test::LiveServer::available())                                                                 \
    GTEST_SKIP() << "korvi-server is not built"

