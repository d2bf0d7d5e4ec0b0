#include "optionspage.h"

#include "app/clientapp.h"
#include "colourpanel.h"
#include "connection/connectionwindow.h"
#include "seams.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>

namespace korvi {

namespace {

// A label that reports a mouse press together with the keys held.
class PressLabel : public QLabel {
public:
    std::function<void(Qt::KeyboardModifiers)> pressed;
    using QLabel::QLabel;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (pressed)
            pressed(event->modifiers());
    }
};

} // namespace

OptionsPage::OptionsPage(ClientApp& app, Prompts& prompts, const QString& programPath, QWidget* parent)
    : QWidget(parent), m_app(app),
      m_safety(QStringLiteral("Sicherheitsabfrage bei BUY/SELL MARKET und GLATT aktivieren")),
      m_chatSound(QStringLiteral("Chat mit Sound")), m_execSound(QStringLiteral("Execution mit Sound"))
{
    auto* columns = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    left->addWidget(&m_safety);
    left->addWidget(&m_chatSound);
    left->addWidget(&m_execSound);
    auto* soundRow = new QHBoxLayout;
    m_sounds.setPlaceholderText(QString::fromLatin1("ausw\xe4hlen..."));
    m_soundName.setReadOnly(true);
    soundRow->addWidget(&m_sounds, 1);
    soundRow->addWidget(&m_soundName, 1);
    left->addLayout(soundRow);
    m_sections = new QVBoxLayout;
    left->addLayout(m_sections);

    auto* buttons = new QHBoxLayout;
    auto* newUser = new QPushButton(QString::fromLatin1("Neuen Usernamen w\xe4hlen"), this); // Command4
    auto* showClient = new QPushButton(QStringLiteral("Clientfenster zeigen"), this);      // Command7
    buttons->addWidget(newUser);
    buttons->addWidget(showClient);
    left->addLayout(buttons);
    left->addWidget(&m_protocol, 1);

    auto* colourFrame = new QGroupBox(QStringLiteral("Farben"), this);
    auto* colourLayout = new QVBoxLayout(colourFrame);
    m_colours = new ColourPanel(app.colourEditor, colourFrame);
    colourLayout->addWidget(m_colours);
    right->addWidget(colourFrame);
    right->addStretch(1);

    // Picture3: a press with Shift and Ctrl held asks the server for its system information.
    auto* systemInfo = new PressLabel(this);
    systemInfo->setPixmap(QPixmap(QStringLiteral(":/korvi/icon.png")).scaled(32, 32, Qt::KeepAspectRatio,
                                                                            Qt::SmoothTransformation));
    systemInfo->pressed = [&app](Qt::KeyboardModifiers keys) {
        if (keys.testFlag(Qt::ShiftModifier) && keys.testFlag(Qt::ControlModifier))
            app.login.WS_RequestSystemInfos();
    };
    // Label3: a click shows the program's file name.
    auto* programLabel = new PressLabel(this);
    m_programLabel = programLabel;
    const QString fileName = QFileInfo(programPath).fileName();
    programLabel->pressed = [&prompts, fileName](Qt::KeyboardModifiers) { prompts.message(fileName); };
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(systemInfo);
    bottom->addWidget(programLabel, 1);
    right->addLayout(bottom);

    bindLogList(m_protocol, app.protocol, nullptr);
    const QColor panel(23, 139, 191);
    QPalette palette = m_protocol.palette();
    palette.setColor(QPalette::Base, panel);
    m_protocol.setPalette(palette);

    Options& options = app.options;
    connect(&m_safety, &QCheckBox::toggled, this, [&options](bool on) { options.Check1_Click(on); });
    connect(&m_chatSound, &QCheckBox::toggled, this, [&options](bool on) { options.Check4_Click(on); });
    connect(&m_execSound, &QCheckBox::toggled, this, [&options](bool on) { options.Check7_Click(on); });
    connect(&m_sounds, &QComboBox::textActivated, this,
            [this, &options](const QString& name) { m_soundName.setText(options.Combo5_Click(name)); });
    connect(newUser, &QPushButton::clicked, this, [&app] { app.newCredentials(); });
    connect(showClient, &QPushButton::clicked, this, &OptionsPage::showClientWindow);
    refresh();
}

void OptionsPage::refresh()
{
    const Options::Flags flags = m_app.options.flags();
    const QSignalBlocker b1(m_safety), b2(m_chatSound), b3(m_execSound);
    m_safety.setChecked(flags.safetyQuestion);
    m_chatSound.setChecked(flags.chatSound);
    m_execSound.setChecked(flags.executionSound);
    m_soundName.setText(m_app.options.chatSoundFile());
    m_programLabel->setText(m_app.caption());
    m_sounds.clear();
    m_sounds.addItems(m_app.options.soundFiles());
    m_sounds.setCurrentIndex(-1);
    m_colours->refillSchemes();
}

void OptionsPage::addSection(QWidget* section)
{
    m_sections->addWidget(section);
}

} // namespace korvi
