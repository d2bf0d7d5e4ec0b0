#include "mainwindow.h"

#include "connection/clientapp.h"
#include "connection/connectionwindow.h"
#include "seams.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>

namespace korvi {

namespace {
// Window positions are stored in twips, 15 to a pixel at the usual 96 dots per inch.
constexpr double kTwipsPerPixel = 15.0;
} // namespace

MainWindow::MainWindow(ClientApp& app, Prompts& prompts, const QString& programPath)
    : m_app(app), m_prompts(prompts), m_userButton(QStringLiteral("User/PW"))
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* top = new QHBoxLayout;
    auto* ende = new QPushButton(QStringLiteral("ENDE"), central);
    top->addWidget(&m_userButton);
    top->addWidget(&m_uid);
    top->addStretch(1);
    top->addWidget(ende);
    layout->addLayout(top);

    m_tabs.addTab(new QWidget, QStringLiteral("Orders"));
    m_tabs.addTab(new QWidget, QStringLiteral("Executions"));
    m_tabs.addTab(new QWidget, QString::fromLatin1("Ausz\xfcge"));
    auto* options = new QWidget;
    auto* optionsLayout = new QVBoxLayout(options);
    auto* showClient = new QPushButton(QStringLiteral("Clientfenster zeigen"), options);
    optionsLayout->addWidget(showClient);
    optionsLayout->addWidget(&m_protocol, 1);
    m_tabs.addTab(options, QStringLiteral("Sonstiges"));
    layout->addWidget(&m_tabs, 1);

    auto* bottom = new QHBoxLayout;
    m_messages.setPlaceholderText(QStringLiteral("Meldungen..."));
    bottom->addWidget(&m_messageLine, 1);
    bottom->addWidget(&m_messages);
    layout->addLayout(bottom);
    setCentralWidget(central);
    resize(1000, 700);

    const QColor panel(23, 139, 191);
    QPalette palette = m_protocol.palette();
    palette.setColor(QPalette::Base, panel);
    m_protocol.setPalette(palette);

    bindLogList(m_protocol, app.protocol, nullptr);
    m_connectionWindow = std::make_unique<ConnectionWindow>(app);

    connect(ende, &QPushButton::clicked, this, &QWidget::close);
    connect(showClient, &QPushButton::clicked, this, [this] {
        m_connectionWindow->show();
        m_connectionWindow->raise();
    });
    connect(&m_userButton, &QPushButton::clicked, this, [this] {
        if (m_prompts.yesNo(QString::fromLatin1("Wollen Sie wirklich einen neuen Username/Pa\xdfwort eingeben")))
            m_app.newCredentials();
    });
    connect(&app, &ClientApp::userNameChanged, this,
            [this](const QString& name) { m_userButton.setToolTip(QStringLiteral("User:") + name); });
    connect(&app, &ClientApp::welcomeText, &m_messageLine, &QLabel::setText);
    connect(&app, &ClientApp::exitRequested, this, [this] {
        m_endWithoutSaving = true;
        QApplication::exit(0);
    });
    connect(&app, &ClientApp::updateHandOff, this, [this] {
        m_endWithoutSaving = true;
        QApplication::exit(0);
    });

    const bool normalStart = app.formLoad(programPath);
    setWindowTitle(app.caption());
    if (normalStart)
        QTimer::singleShot(50, this, &MainWindow::initialise);
}

MainWindow::~MainWindow() = default;

void MainWindow::initialise()
{
    if (!m_app.initialise()) {
        // "Abbruch" in the credentials dialog ends the program without saving.
        m_endWithoutSaving = true;
        QApplication::exit(0);
        return;
    }
    m_initialised = true;
    applyGeometry();
}

void MainWindow::applyGeometry()
{
    const Settings& s = m_app.state.settings;
    if (s.width > 0 && s.height > 0)
        resize(qRound(s.width / kTwipsPerPixel), qRound(s.height / kTwipsPerPixel));
    if (s.top > 0 || s.left > 0)
        move(qRound(qMax(0.0f, s.left) / kTwipsPerPixel), qRound(qMax(0.0f, s.top) / kTwipsPerPixel));
}

void MainWindow::storeGeometry()
{
    Settings& s = m_app.state.settings;
    s.width = static_cast<float>(width() * kTwipsPerPixel);
    s.height = static_cast<float>(height() * kTwipsPerPixel);
    s.top = static_cast<float>(y() * kTwipsPerPixel);
    s.left = static_cast<float>(x() * kTwipsPerPixel);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_initialised && !m_endWithoutSaving) {
        storeGeometry();
        m_app.shutdown();
        m_initialised = false;
    }
    m_connectionWindow->close();
    event->accept();
    QApplication::quit();
}

} // namespace korvi
