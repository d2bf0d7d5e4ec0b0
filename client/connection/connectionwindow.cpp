#include "connectionwindow.h"

#include "app/clientapp.h"
#include "textfile.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace korvi {

ConnectionWindow::ConnectionWindow(ClientApp& app, QWidget* parent)
    : QWidget(parent, Qt::Window), m_app(app), m_ip(QStringLiteral("IP")),
      m_kursprotokoll(QStringLiteral("Kursprotokoll"))
{
    m_kurs.setFullText(QStringLiteral("KURSE"));
    setWindowTitle(QStringLiteral("Orderclient"));
    Connection& c = app.connection;

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Server:"), &m_server);
    fields->addRow(QStringLiteral("&Port:"), &m_port);
    fields->addRow(QStringLiteral("User:"), &m_user);
    fields->addRow(QStringLiteral("PW:"), &m_password);
    m_password.setEchoMode(QLineEdit::Password);
    auto* checks = new QHBoxLayout;
    checks->addWidget(&m_ip);
    checks->addWidget(&m_kursprotokoll);
    fields->addRow(checks);

    auto button = [this](const QString& caption, auto action) {
        auto* b = new QPushButton(caption, this);
        connect(b, &QPushButton::clicked, this, action);
        return b;
    };
    auto* buttons = new QGridLayout;
    buttons->addWidget(button(QStringLiteral("Lies IP-Seite"), [&c] { c.readIpPage(); }), 0, 0);
    buttons->addWidget(button(QStringLiteral("LOGIN"), [&c] { c.login(); }), 0, 1);
    buttons->addWidget(button(QStringLiteral("LOGOUT"), [&c] { c.logout(); }), 0, 2);
    buttons->addWidget(button(QStringLiteral("&Ablegen"), [this] { hide(); }), 0, 3);
    Login& l = app.login;
    buttons->addWidget(button(QStringLiteral("Time ?"), [&l] { l.Command4_Click(); }), 1, 0);
    buttons->addWidget(button(QStringLiteral("Instruments"), [&l] { l.Command6_Click(); }), 1, 1);
    buttons->addWidget(button(QStringLiteral("R.All Orders"), [&l] { l.Command7_Click(); }), 1, 2);
    buttons->addWidget(button(QStringLiteral("R.Open Orders"), [&l] { l.Command8_Click(); }), 1, 3);
    buttons->addWidget(button(QStringLiteral("R.AllExec."), [&l] { l.Command9_Click(); }), 1, 4);

    auto* lists = new QHBoxLayout;
    lists->addWidget(&m_incoming);
    lists->addWidget(&m_outgoing);
    bindLogList(m_incoming, app.incoming, &m_detail);
    bindLogList(m_outgoing, app.outgoing, &m_detail);
    m_detail.setWordWrap(true);
    m_detail.setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addLayout(lists, 1);
    layout->addWidget(&m_detail);
    layout->addWidget(&m_kurs);
    layout->addWidget(&m_bytes);
    resize(760, 560);

    connect(&m_server, &QLineEdit::textEdited, this, [&c](const QString& t) { c.setServerField(toWire(t)); });
    // "host:port" typed into the server field goes into both fields, as the address pages do.
    connect(&m_server, &QLineEdit::editingFinished, this, [this, &c] {
        if (!m_server.text().contains(QLatin1Char(':')))
            return;
        const HostAndPort address = splitServerAddress(toWire(m_server.text()));
        c.setServerField(address.host);
        c.setPortField(address.port);
    });
    connect(&m_port, &QLineEdit::textEdited, this, [&c](const QString& t) { c.setPortField(toWire(t)); });
    connect(&m_user, &QLineEdit::textEdited, this, [&c](const QString& t) { c.setUserField(toWire(t)); });
    connect(&m_password, &QLineEdit::textEdited, this, [&c](const QString& t) { c.setPasswordField(toWire(t)); });
    connect(&m_ip, &QCheckBox::toggled, this, [&c](bool on) { c.setIpChecked(on); });
    connect(&m_kursprotokoll, &QCheckBox::clicked, this, [&app](bool on) { app.Check1_Click(on); });
    connect(&c, &Connection::fieldsChanged, this, &ConnectionWindow::showFields);
    // The last full price message is shown a few times a second while the window is open.
    auto* kursTimer = new QTimer(this);
    kursTimer->setInterval(250);
    connect(kursTimer, &QTimer::timeout, this, [this, &c] {
        if (isVisible() && c.takeLkursChange())
            m_kurs.setFullText(c.lkursText());
    });
    kursTimer->start();
    connect(&c, &Connection::byteCounterChanged, &m_bytes, &QLabel::setText);
    showFields();
}

void ConnectionWindow::showFields()
{
    const Connection& c = m_app.connection;
    // Only fields that differ are set, so the cursor of a field being typed in stays put.
    auto set = [](QLineEdit& edit, const QByteArray& value) {
        const QString text = fromWire(value);
        if (edit.text() != text)
            edit.setText(text);
    };
    set(m_server, c.serverField());
    set(m_port, c.portField());
    set(m_user, c.userField());
    set(m_password, c.passwordField());
    m_ip.setChecked(c.ipChecked());
    m_kursprotokoll.setChecked(c.kursprotokoll());
}

} // namespace korvi
