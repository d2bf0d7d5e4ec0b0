#include "externalframe.h"

#include "app/clientapp.h"
#include "connection/connection.h"
#include "loglistview.h"
#include "numbers.h"
#include "ports.h"
#include "textfile.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvi {

ExternalFrame::ExternalFrame(ClientApp& app, QWidget* parent)
    : QWidget(parent), m_app(app), m_fennixExtern(QStringLiteral("Fennix extern")),
      m_frame(QStringLiteral("Externe Kontrolle Fennix")), m_port(QString::number(kOrderSocketPort)),
      m_user(QStringLiteral("ZAQR")), m_status(QStringLiteral("Status")),
      m_placeTest(QStringLiteral("W1;1;BUY;LMT;2;3800;0;1;O999")), m_cancelTest(QStringLiteral("-123")),
      m_asciiRemote(QStringLiteral("ASCII-Remote"))
{
    ExternalInterfaces& ext = app.external;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(&m_fennixExtern);
    boxes->addWidget(&m_asciiRemote);
    boxes->addStretch(1);
    layout->addLayout(boxes);

    auto* grid = new QGridLayout(&m_frame);
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("IP:"), &m_ip);
    fields->addRow(QStringLiteral("Port:"), &m_port);
    fields->addRow(QStringLiteral("User:"), &m_user);
    grid->addLayout(fields, 0, 0);
    auto* buttons = new QGridLayout;
    auto button = [this, buttons](const QString& caption, int row, int column, auto action) {
        auto* b = new QPushButton(caption, &m_frame);
        connect(b, &QPushButton::clicked, this, action);
        buttons->addWidget(b, row, column);
    };
    button(QStringLiteral("Listen"), 0, 0, [&ext] { ext.wex.Command17_Click(); });
    buttons->addWidget(&m_placeTest, 1, 0);
    button(QStringLiteral("Placeorder-Test"), 1, 1,
           [this, &ext] { ext.orders.Ext_Placeorder(toWire(m_placeTest.text())); });
    buttons->addWidget(&m_cancelTest, 2, 0);
    button(QStringLiteral("Cancelorder-Test"), 2, 1, [this, &ext] {
        ext.orders.Ext_CancelOrder(toInt32(readNumber(toWire(m_cancelTest.text()))).value_or(0));
    });
    button(QStringLiteral("GetPortfolio"), 3, 0, [&ext] { ext.wex.Command20_Click(); });
    button(QStringLiteral("SI"), 3, 1, [&ext] { ext.wex.WexSendInstruments(); });
    button(QString(), 0, 1, [&ext] { ext.wex.Command22_Click(); });
    grid->addLayout(buttons, 0, 1);
    grid->addWidget(&m_status, 1, 0, 1, 2);
    grid->addWidget(&m_list1, 2, 0, 1, 2);
    m_frame.setVisible(false);
    layout->addWidget(&m_frame, 1);
    layout->addWidget(&m_list2);

    // Both lists are trimmed like the protocol lists and scroll once per flood of lines.
    bindLogList(m_list1, ext.list1, nullptr);
    bindLogList(m_list2, ext.list2, nullptr);
    connect(&m_list2, &QListWidget::itemClicked, &ext.list2, [&ext] { ext.list2.clear(); });
    m_list2.setEnabled(false);
    connect(&ext.files, &FileInterface::listEnabled, &m_list2, &QWidget::setEnabled);

    Settings& s = app.state.settings;
    connect(&m_ip, &QLineEdit::textEdited, this, [&s](const QString& t) { s.wexIp = toWire(t); });
    connect(&m_port, &QLineEdit::textEdited, this, [&s](const QString& t) { s.wexPort = toWire(t); });
    connect(&m_user, &QLineEdit::textEdited, this, [&s](const QString& t) { s.wexUser = toWire(t); });
    connect(&m_fennixExtern, &QCheckBox::clicked, this, &ExternalFrame::Check5_Click);
    connect(&m_asciiRemote, &QCheckBox::clicked, this, [&ext](bool on) { ext.files.Check6_Click(on); });
    connect(&app, &ClientApp::refreshTick, this, &ExternalFrame::refresh);
    refresh();
}

void ExternalFrame::Check5_Click(bool ticked)
{
    const bool shown = m_app.external.Check5_Click(ticked);
    if (m_app.state.GameEdition != 0)
        m_fennixExtern.setChecked(m_frame.isVisible());
    else
        m_frame.setVisible(shown);
}

void ExternalFrame::loadFromSettings()
{
    const Settings& s = m_app.state.settings;
    m_ip.setText(fromWire(s.wexIp));
    m_port.setText(fromWire(s.wexPort));
    m_user.setText(fromWire(s.wexUser));
    const bool fennix = s.fennixExtern == 1 && m_app.state.GameEdition == 0;
    m_fennixExtern.setChecked(fennix);
    m_frame.setVisible(fennix);
    m_asciiRemote.setChecked(m_app.external.files.isOn());
    m_list2.setEnabled(m_app.external.files.isOn());
}

void ExternalFrame::refresh() { m_status.setText(socketStateText(m_app.external.wex.stateNumber())); }

} // namespace korvi
