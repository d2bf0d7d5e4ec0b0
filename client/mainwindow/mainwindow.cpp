#include "mainwindow.h"

#include "account/executionspage.h"
#include "account/statementspage.h"
#include "account/statuslabels.h"
#include "chat/chatcheckbox.h"
#include "chart/chart.h"
#include "chat/messagewindow.h"
#include "app/clientapp.h"
#include "connection/connectionwindow.h"
#include "external/externalframe.h"
#include "orders/ordergridview.h"
#include "mainwindow/assetfolders.h"
#include "mainwindow/logowidget.h"
#include "mainwindow/optionspage.h"
#include "textfile.h"
#include "seams.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace korvi {

namespace {
// Window positions are stored in twips, 15 to a pixel at the usual 96 dots per inch.
constexpr double kTwipsPerPixel = 15.0;

} // namespace

MainWindow::MainWindow(ClientApp& app, Prompts& prompts, const QString& programPath)
    : m_app(app), m_prompts(prompts), m_userButton(QStringLiteral("User/PW")),
      m_buyMarket(QStringLiteral("BUY MARKET")), m_sellMarket(QStringLiteral("SELL MARKET")),
      m_moreLess(QStringLiteral("Mehr"))
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* top = new QHBoxLayout;
    m_topRow = top;
    auto* ende = new QPushButton(QStringLiteral("ENDE"), central);
    m_logo = new LogoWidget(app.logo, central);
    top->addWidget(m_logo);
    top->addWidget(&m_userButton);
    top->addWidget(&m_uid);
    top->addWidget(new ChatCheckBox(app.chat, this));
    top->addStretch(1);
    top->addWidget(ende);
    layout->addLayout(top);
    layout->addWidget(buildTradingRow());
    layout->addWidget(new StatusLabels(app.status, central));

    m_orderGrid = new OrderGridView(app.orderGrid.cells, app.orderEntry);
    m_orderGrid->setWidestCells(app.orderGrid.widestNumbers());
    m_tabs.addTab(m_orderGrid, QStringLiteral("Orders"));
    m_executionsPage = new ExecutionsPage(app.executions);
    m_tabs.addTab(m_executionsPage, QStringLiteral("Executions"));
    m_tabs.addTab(new StatementsPage(app.statements), QString::fromLatin1("Ausz\xfcge"));
    app.statements.setPrinter(&m_printer);
    m_optionsPage = new OptionsPage(app, prompts, programPath);
    m_tabs.addTab(m_optionsPage, QStringLiteral("Sonstiges"));
    // "SSTab1_Click".
    connect(&m_tabs, &QTabWidget::currentChanged, this, [this](int page) {
        if (page == 2)
            m_app.statements.FillAuszug();
        else if (page == 3)
            m_optionsPage->refresh();
    });
    connect(&app.colourEditor, &ColourEditor::firstPageWanted, this, [this] { m_tabs.setCurrentIndex(0); });
    m_externalFrame = new ExternalFrame(app, m_optionsPage);
    m_optionsPage->addSection(m_externalFrame);
    layout->addWidget(&m_tabs, 1);

    auto* bottom = new QHBoxLayout;
    m_messages.setPlaceholderText(QStringLiteral("Meldungen..."));
    // The history box keeps its width whatever the messages are; the popup cuts them.
    m_messages.setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_messages.setMinimumContentsLength(24);
    m_uid.setMinimumWidth(90);
    m_label2.setMinimumWidth(140);
    bottom->addWidget(&m_messageLine, 1);
    m_staleLabel.setStyleSheet(QStringLiteral("QLabel { color: #b00000; font-weight: bold; }"));
    m_staleLabel.hide();
    bottom->addWidget(&m_staleLabel);
    bottom->addWidget(&m_label2);
    bottom->addWidget(&m_messages);
    layout->addLayout(bottom);
    setCentralWidget(central);
    resize(1000, 700);

    m_connectionWindow = std::make_unique<ConnectionWindow>(app);
    new Chart(app.chart, app.state.priceHistory, this); // shown by a click on "TICKER" or "C"

    connect(ende, &QPushButton::clicked, this, &QWidget::close);
    connect(m_optionsPage, &OptionsPage::showClientWindow, this, [this] {
        m_connectionWindow->show();
        m_connectionWindow->raise();
    });
    connect(&m_userButton, &QPushButton::clicked, this, [this] {
        if (m_prompts.yesNo(QString::fromLatin1("Wollen Sie wirklich einen neuen Username/Pa\xdfwort eingeben")))
            m_app.newCredentials();
    });
    connect(&app, &ClientApp::userNameChanged, this,
            [this](const QString& name) { m_userButton.setToolTip(QStringLiteral("User:") + name); });
    connect(&app, &ClientApp::uidText, &m_uid, &ElidedLabel::setFullText);
    connect(&app.status, &StatusTexts::label2Changed, &m_label2, &ElidedLabel::setFullText);
    connectMessages();
    connect(&app, &ClientApp::exitRequested, this, [this] {
        m_endWithoutSaving = true;
        QApplication::exit(0);
    });
    connect(&app, &ClientApp::updateHandOff, this, [this] {
        m_endWithoutSaving = true;
        QApplication::exit(0);
    });
    connect(&app, &ClientApp::updateHandOffFailed, this, &MainWindow::initialise);
    // A lost connection is shown plainly: in the caption, a label, and dimmed prices.
    connect(&app, &ClientApp::connectionStateChanged, this, [this](bool stale, const QString& since) {
        setWindowTitle(m_app.caption() + (stale ? QStringLiteral(" \u2013 Keine Verbindung zum Server") : QString()));
        m_staleLabel.setText(QStringLiteral("Kurse veraltet seit ") + since);
        m_staleLabel.setVisible(stale);
    });

    const bool normalStart = app.formLoad(programPath);
    setWindowTitle(app.caption());
    m_optionsPage->refresh();
    if (normalStart) {
        QTimer::singleShot(0, this, [this] { m_app.logo.StartLogo(); });
        QTimer::singleShot(50, this, &MainWindow::initialise);
    }
}

void MainWindow::addTopControl(QWidget* control)
{
    // Before the stretch, beside "User/PW" and the user id.
    m_topRow->insertWidget(m_topRow->count() - 2, control);
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::buildTradingRow()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(&m_buyMarket);
    layout->addWidget(&m_sellMarket);
    OrderPlacing& placing = m_app.placing;
    auto button = [row, layout](const QString& caption, auto action) {
        auto* b = new QPushButton(caption, row);
        QObject::connect(b, &QPushButton::clicked, row, action);
        layout->addWidget(b);
        return b;
    };
    PositionClosing& closing = m_app.closing;
    button(QStringLiteral("GLATT"), [&closing] { closing.Command11_Click(); });
    button(QStringLiteral("CANCEL Alle"), [&placing] { placing.cancelAlle(); });
    button(QStringLiteral("TRANS Alle"), [&placing] { placing.transAlle(); });
    button(QString::fromLatin1("L\xf6sche TRANS"), [&placing] { placing.loescheTrans(); });
    connect(&m_buyMarket, &QPushButton::clicked, this, [&placing] { placing.Command8_Click(0); });
    connect(&m_sellMarket, &QPushButton::clicked, this, [&placing] { placing.Command8_Click(1); });
    layout->addStretch(1);
    layout->addWidget(&m_quantity);
    layout->addWidget(&m_moreLess);

    m_quantity.setEditable(true);
    m_quantity.addItems({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "20", "25", "50", "100"});
    m_quantity.setCurrentIndex(0);
    OrderEntry& entry = m_app.orderEntry;
    // The box is corrected when the user has finished typing or picked a value, so that
    // typing a quantity digit by digit is not overruled half way.
    auto takeQuantity = [this, &entry] { entry.setQuantityText(m_quantity.currentText()); };
    connect(&m_quantity, &QComboBox::textActivated, this, takeQuantity);
    connect(m_quantity.lineEdit(), &QLineEdit::editingFinished, this, takeQuantity);
    connect(&entry, &OrderEntry::quantityChanged, this, [this](const QString& text) {
        if (m_quantity.currentText() != text)
            m_quantity.setEditText(text);
    });
    entry.setQuantityText(m_quantity.currentText());

    connect(&entry, &OrderEntry::defaultInstrumentChanged, this, [this] {
        m_buyMarket.setStyleSheet(QStringLiteral("background-color: rgb(0,255,0)"));
        m_sellMarket.setStyleSheet(QStringLiteral("background-color: rgb(255,65,65)"));
    });
    auto toggle = [this] {
        m_app.state.book.ZeigeAlleOrders = !m_app.state.book.ZeigeAlleOrders;
        showMoreLess();
        m_app.orderGrid.rebuild();
    };
    connect(&m_moreLess, &QPushButton::clicked, this, toggle);
    connect(&entry, &OrderEntry::toggleFinishedOrders, this, toggle);
    return row;
}

void MainWindow::connectMessages()
{
    // The message line and its history "Meldungen..."; every new line enters the history.
    Messages& messages = m_app.messages;
    // The line shows one line of the message, cut to the window's width.
    connect(&messages, &Messages::messageLineChanged, &m_messageLine, &ElidedLabel::setFullText);
    connect(&messages, &Messages::historyAdded, this, [this](const QString& text) {
        m_messages.addItem(text);
        if (m_messages.count() > Messages::kMaxHistory)
            m_messages.removeItem(0);
        m_messages.setCurrentIndex(-1);
    });
    connect(&messages, &Messages::popupRequested, this, [this, &messages](const QString& text) {
        if (!m_messageWindow)
            m_messageWindow = new MessageWindow(messages, this);
        m_messageWindow->showText(text);
    });
    connect(&m_app, &ClientApp::welcomeText, &messages, &Messages::setMessageLine);
}

void MainWindow::showMoreLess()
{
    m_moreLess.setText(m_app.state.book.ZeigeAlleOrders ? QStringLiteral("Weniger") : QStringLiteral("Mehr"));
}

void MainWindow::initialise()
{
    if (!m_app.initialise()) {
        // "Abbruch" in the credentials dialog ends the program without saving.
        m_endWithoutSaving = true;
        QApplication::exit(0);
        return;
    }
    m_initialised = true;
    m_externalFrame->loadFromSettings();
    applyGeometry();
    showMoreLess();
    m_app.orderGrid.rebuild();
    // No saved size: once the grid has its columns, wide enough that every one shows,
    // position and result included.
    if (m_app.state.settings.width <= 0)
        QTimer::singleShot(0, this, &MainWindow::widenForOrderGrid);
}

void MainWindow::widenForOrderGrid()
{
    centralWidget()->layout()->activate();
    const int needed = m_orderGrid->horizontalHeader()->length() + m_orderGrid->verticalHeader()->width() +
                       2 * m_orderGrid->frameWidth() + m_orderGrid->verticalScrollBar()->sizeHint().width();
    QRect frame = geometry();
    frame.setWidth(frame.width() + std::max(0, needed - m_orderGrid->width()));
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    frame = placeOnScreens(frame, screens);
    resize(frame.size());
    move(frame.topLeft());
}

void MainWindow::applyGeometry()
{
    const Settings& s = m_app.state.settings;
    m_orderGrid->setSavedWidths(s.orderGridWidths);
    m_executionsPage->grid().setSavedWidths(s.execGridWidths);
    // Each value is applied only when above 0; the result is kept on a visible screen.
    QRect frame = geometry();
    if (s.width > 0)
        frame.setWidth(qRound(s.width / kTwipsPerPixel));
    if (s.height > 0)
        frame.setHeight(qRound(s.height / kTwipsPerPixel));
    if (s.left > 0)
        frame.moveLeft(qRound(s.left / kTwipsPerPixel));
    if (s.top > 0)
        frame.moveTop(qRound(s.top / kTwipsPerPixel));
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    frame = placeOnScreens(frame, screens);
    resize(frame.size());
    move(frame.topLeft());
}

void MainWindow::storeGeometry()
{
    Settings& s = m_app.state.settings;
    s.orderGridWidths = m_orderGrid->savedWidths(GridLayout::kColumns);
    s.execGridWidths = m_executionsPage->grid().savedWidths(16);
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
