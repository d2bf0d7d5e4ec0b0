#include "clientapp.h"
#include "dates.h"

#include "market/pricefiles.h"
#include "market/presets.h"
#include "mainwindow/assetfolders.h"
#include "seams.h"
#include "connection/startup.h"
#include "textfile.h"
#include "update/versionreport.h"

#include <QCoreApplication>
#include <QVersionNumber>

namespace korvi {

ClientApp::ClientApp(const QString& workDir, Prompts& prompts, Sound& sound, Clock& clock,
                     PageReader& pages, QObject* parent)
    : QObject(parent), dispatcher(state, incoming),
      connection(state, dispatcher, clock, incoming, outgoing, pages),
      control(connection, incoming, protocol, sound, clock), instruments(state, outgoing, protocol),
      prices(state, clock), recorder(workDir), login(state, connection, clock),
      messages(state, connection, outgoing, protocol, prompts, sound, clock),
      orderGrid(state, clock, protocol), orderEntry(state, orderGrid, prompts, protocol),
      placing(state, orderGrid, orderEntry, connection, messages, prompts, protocol),
      orderStatus(state, orderGrid, messages, outgoing, protocol, clock),
      executions(state, outgoing, protocol, sound),
      closing(state, orderGrid, orderEntry, placing, prompts, protocol),
      brackets(state, orderGrid, orderEntry, placing, prompts, protocol),
      account(state, status, protocol, outgoing), rankings(status, protocol),
      statements(state, clock, prompts, protocol, [this](qint32 day) { return login.WSS_GKO(day); }),
      chat(state, connection, sound, clock, login.chatBox),
      chart(state, orderEntry, prompts),
      fileTransfer(workDir, protocol), handOff(workDir, protocol, prompts),
      external(state, connection, account, executions, orderStatus, placing, orderGrid, orderEntry, closing,
               messages, prompts, clock, protocol),
      options(state, sound, {workDir}), colourEditor(state, prompts, protocol, {workDir}),
      logo({workDir}, prompts), m_assetFolders{workDir}, m_prompts(prompts),
      m_sound(sound), m_clock(clock)
{
    state.workDir = workDir;
    state.settings.wexIp = "127.0.0.1";
    dispatcher.onControl([this](QByteArrayView line) { control.handle(line); });
    control.exitNow = [this] { emit exitRequested(); };
    connect(&messages, &Messages::credentialsCancelled, this, &ClientApp::exitRequested);
    connect(&connection, &Connection::userNameChanged, this, &ClientApp::userNameChanged);

    m_timer1.setInterval(150);
    // The grids catch up with their tables once per receive step, and at every tick in case
    // anything changed them outside one.
    dispatcher.onSettled([this] {
        ++m_receiveSteps;
        messages.settle();
        refreshGrids();
    });
    connect(&m_timer1, &QTimer::timeout, this, &ClientApp::refreshGrids);
    m_catchUp.setSingleShot(true);
    connect(&m_catchUp, &QTimer::timeout, this, [this] {
        if (m_receiveSteps == m_stepsAtCatchUp) {
            orderGrid.pacer.quiet();
            executions.pacer.quiet();
        }
        refreshGrids();
    });
    connect(&m_timer1, &QTimer::timeout, this, &ClientApp::refreshPrices);
    connect(&m_timer1, &QTimer::timeout, this, &ClientApp::refreshTick);
    connect(&m_timer1, &QTimer::timeout, this, &ClientApp::checkConnectionState);
    connect(&m_timer1, &QTimer::timeout, this, [this] { external.wex.refreshStatus(); });
    handOff.version = QStringLiteral("%1.%2.%3").arg(programMajor()).arg(programMinor()).arg(programRevision());
    fileTransfer.onStored = [this](const QString& target) {
        if (target.compare(QLatin1String(UpdateHandOff::kPackage), Qt::CaseInsensitive) == 0)
            messages.setMessageLine(handOff.packageStored());
    };
    wireHandlers();
    wireChat();
}

void ClientApp::wireHandlers()
{
    dispatcher.on(Cmd::SendInstruments, [this](QByteArrayView body) {
        instruments.WS_SI(body);
        emit instrumentsReplaced();
    });
    control.initTabelle = [this](QByteArrayView list) { instruments.InitTabelle(list); };

    dispatcher.on(Cmd::Kursupdate, [this](QByteArrayView body) { prices.WS_KU(body); });
    dispatcher.onShortPrice(0, [this](QByteArrayView body) { prices.WS_KuKurz(body); });
    dispatcher.onShortPrice(1, [this](QByteArrayView body) { prices.WS_KuKurzBBVAAV(body); });
    dispatcher.onShortPrice(2, [this](QByteArrayView body) { prices.WS_KuKurzAAV(body); });
    dispatcher.onShortPrice(3, [this](QByteArrayView body) { prices.WS_KuKurzA(body); });
    dispatcher.onShortPrice(4, [this](QByteArrayView body) { prices.WS_KuKurzAV(body); });
    dispatcher.onShortPrice(5, [this](QByteArrayView body) { prices.WS_KuKurzBBV(body); });

    dispatcher.on(Cmd::Welcome, [this](QByteArrayView body) {
        connection.welcomed();
        login.WS_Welcome(body);
    });
    dispatcher.on(Cmd::TimeSet, [this](QByteArrayView body) { login.WS_TimeSet(body); });
    dispatcher.on(Cmd::UserData, [this](QByteArrayView body) { login.ws_ud(body); });
    connect(&login, &Login::welcomeText, this, &ClientApp::welcomeText);
    connect(&login, &Login::uidText, this, &ClientApp::uidText);

    dispatcher.on(Cmd::Message, [this](QByteArrayView body) {
        messages.WS_Message(body);
        chat.serverMessage(body);
        login.blockedCheck(body);
    });
    dispatcher.on(Cmd::SendAnnotation, [this](QByteArrayView body) { messages.WS_SendAnnotation(body); });
    dispatcher.on(Cmd::SendDocument, [this](QByteArrayView body) { messages.WS_SendDocument(body); });

    connect(&connection, &Connection::unloaded, this, [this] {
        recorder.close();
        dispatcher.onPriceRecord(nullptr);
    });
    saveExtraFiles = [this] { saveMarketFiles(); };

    instruments.buildOrderGrid = [this] { orderGrid.invalidate(); };
    connect(this, &ClientApp::pricesRefreshed, &orderGrid, &OrderGrid::redrawInstruments);
    orderEntry.send = [this](const QByteArray& framed) { connection.Senddata(framed); };
    orderEntry.placeOrder = [this](int entry, int row) {
        return placing.PlaceOrder(entry, row, placing.ExtOrderActive, placing.ExtOrderRef);
    };
    orderEntry.placeAllOrders = [this](int entry) { placing.Placeallorders(entry); };
    orderEntry.cancelOrder = [this](int order) { placing.Cancelorder(order); };
    orderEntry.resetAllEntries = [this](int entry) { placing.ResetAlleLeerOrders(entry); };
    orderEntry.showChart = [this](int wp) { chart.open(wp); };
    connect(this, &ClientApp::pricesRefreshed, &chart, &ChartControl::pricesRefreshed);

    dispatcher.on(Cmd::SendUserKonto, [this](QByteArrayView body) { account.WS_SUK(body); });
    dispatcher.on(Cmd::SendUserData, [this](QByteArrayView body) { account.WS_SUD(body); });
    dispatcher.on(Cmd::SendUserPlaetze, [this](QByteArrayView body) {
        account.WS_SUP(body);
        if (chat.placesHidden() && chat.clearPlaces)
            chat.clearPlaces(); // no places are shown at level 0
    });
    connect(&account, &Account::positionsChanged, &orderGrid, &OrderGrid::redrawInstruments);
    dispatcher.on(Cmd::PlatzInfo, [this](QByteArrayView body) { rankings.WS_PlatzInfo(body); });
    dispatcher.on(Cmd::SystemInfo, [this](QByteArrayView body) { rankings.WS_ShowSystemInfo(body); });
    dispatcher.on(Cmd::GewinnerVerlierer, [this](QByteArrayView body) { rankings.WS_GewinnerVerlierer(body); });
    connect(&messages, &Messages::documentsChanged, &statements, &Statements::FillAuszug);

    dispatcher.on(Cmd::OpenOrder, [this](QByteArrayView body) { orderStatus.WS_OO(body); });
    dispatcher.on(Cmd::OrderStatus, [this](QByteArrayView body) { orderStatus.WS_OS(body); });
    dispatcher.on(Cmd::SendAllOrders, [this](QByteArrayView body) { orderStatus.WS_SAO(body); });
    dispatcher.on(Cmd::SendOpenOrders, [this](QByteArrayView body) { orderStatus.WS_SOO(body); });
    dispatcher.on(Cmd::OrderRejected, [this](QByteArrayView body) { orderStatus.WS_OR(body); });
    dispatcher.on(Cmd::CancelRejected, [this](QByteArrayView body) { orderStatus.WS_CR(body); });
    dispatcher.on(Cmd::LastOrderId, [this](QByteArrayView body) { orderStatus.WS_LI(body); });
    dispatcher.on(Cmd::Execution, [this](QByteArrayView body) { executions.WS_EX(body); });
    dispatcher.on(Cmd::SendAllExecutions, [this](QByteArrayView body) { executions.WS_SAE(body); });
    dispatcher.on(Cmd::RequestVersion, [this](QByteArrayView) {
        WS_RV([this](const QByteArray& framed) { connection.Senddata(framed); });
    });
    dispatcher.on(Cmd::FileStart, [this](QByteArrayView body) { fileTransfer.WS_FIS(body); });
    dispatcher.on(Cmd::FileData, [this](QByteArrayView body) { fileTransfer.WS_FID(body); });
    dispatcher.on(Cmd::FileEnd, [this](QByteArrayView body) { fileTransfer.WS_FIE(body); });
    colourEditor.relayout = [this] {
        orderGrid.InitGridLayout();
        executions.InitGridLayout();
        orderGrid.rebuild();
        executions.refreshGrid();
    };

    // Connected before any window: the bracket target is taken while the row is still the
    // clicked one, before the menu waits for the user.
    connect(&orderEntry, &OrderEntry::menuRequested, &brackets, [this](GridMenu menu, int row) {
        if (menu == GridMenu::EntryBracket || menu == GridMenu::OrderBracket)
            brackets.rememberMenuRow(row);
    });
    orderEntry.menuAction = [this](GridMenu menu, int row, int item) {
        if (menu == GridMenu::Position && item == 0)
            closing.m_glattstellen_Click(row);
        else if (menu == GridMenu::Position && item == 1)
            closing.m_drehposition_Click(row);
        else if (menu == GridMenu::EntryBracket)
            brackets.m_createbracket_Click(item);
        else if (menu == GridMenu::OrderBracket)
            brackets.m_createbracket2_Click(item);
    };
    brackets.savePresets = [this] { return savePresets(state); };
}

void ClientApp::wireChat()
{
    dispatcher.on(Cmd::SendVersion, [this](QByteArrayView body) { chat.WS_SV(body); });
    dispatcher.on(Cmd::SendChatUsers, [this](QByteArrayView body) { chat.WS_SCU(body); });
    dispatcher.on(Cmd::ChatUserOn, [this](QByteArrayView body) { chat.WS_CU1(body); });
    dispatcher.on(Cmd::ChatUserOff, [this](QByteArrayView body) { chat.WS_CU0(body); });
    dispatcher.on(Cmd::ReceiveChat, [this](QByteArrayView body) { chat.WS_ReceiveChat(body); });
    dispatcher.on(Cmd::ReceiveTChat, [this](QByteArrayView body) { chat.WS_ReceiveTChat(body); });
    chat.zeigposition = [this] { account.Zeigposition(); };
    chat.clearPlaces = [this] {
        status.setLT1(StatusTexts::kDayPlace, QString());
        status.setLT1(StatusTexts::kTotalPlace, QString());
    };
}

void ClientApp::setProgramDir(const QString& programDir)
{
    m_assetFolders = korvi::assetFolders(state.workDir, programDir);
    options.setFolders(m_assetFolders);
    colourEditor.setFolders(m_assetFolders);
    logo.setFolders(m_assetFolders);
}

void ClientApp::refreshGrids()
{
    // Inside a receive step (a handler let events run) the step's end does it.
    if (dispatcher.busy())
        return;
    orderGrid.refresh();
    executions.refresh();
    // A large grid's rebuild that had to wait is done when it is due, or sooner once nothing
    // has arrived for kQuietMs.
    const int wait = std::max(orderGrid.rebuildWait(), executions.rebuildWait());
    if (wait > 0 && !m_catchUp.isActive()) {
        m_stepsAtCatchUp = m_receiveSteps;
        m_catchUp.start(std::min(wait, kQuietMs));
    }
}

void ClientApp::checkConnectionState()
{
    const bool stale = !connection.canTrade();
    if (stale == m_pricesStale)
        return;
    m_pricesStale = stale;
    orderGrid.setPricesStale(stale);
    emit connectionStateChanged(stale, stale ? clockText(m_clock.now().time()) : QString());
}

void ClientApp::refreshPrices()
{
    if (prices.refresh(m_changed) && !m_changed.empty())
        emit pricesRefreshed(QList<int>(m_changed.begin(), m_changed.end()));
}

void ClientApp::Check1_Click(bool ticked)
{
    connection.setKursprotokoll(ticked);
    if (!recorder.developerMode())
        return;
    if (!recorder.toggle())
        protocol.add(QStringLiteral("F:Check1_Click ") + QLatin1String(kRecordingFile));
    if (recorder.isOpen())
        dispatcher.onPriceRecord([this](QByteArrayView message) { recorder.record(message); });
    else
        dispatcher.onPriceRecord(nullptr);
}

void ClientApp::saveMarketFiles()
{
    if (const int failed =
            SaveKurse(state.priceHistory, state.InstrumentCount, state.workDir, state.priceFiles))
        protocol.add(QStringLiteral("F:SaveKurse ") + QString::number(failed));
    if (!savePresets(state))
        protocol.add(QStringLiteral("F:SaveInit ") + QLatin1String(kPresetFileName));
}

bool ClientApp::formLoad(const QString& programPath)
{
    state.GameEdition = editionFromExecutable(programPath);
    const QVersionNumber version = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    m_caption = mainCaption(version.majorVersion(), version.minorVersion(), version.microVersion(),
                            state.GameEdition);
    if (handOff.updateWaiting()) {
        QTimer::singleShot(50, this, &ClientApp::Timer2_Timer);
        return false;
    }
    handOff.removeLeftoverUpdater();
    fileTransfer.removeLeftover();
    return true;
}

void ClientApp::Timer2_Timer()
{
    if (handOff.Timer2_Timer())
        emit updateHandOff();
    else
        emit updateHandOffFailed();
}

bool ClientApp::initialise()
{
    if (!loadSettingsFile(state.workDir, state.settings))
        protocol.add(QStringLiteral("Keine Einstellungen gefunden: ") + QLatin1String(kSettingsFileName));
    applySettings();
    external.start();
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
    m_catchUp.stop();
    connection.unload();
    fileTransfer.abandon();
    collectSettings();
    if (!saveSettingsFile(state.workDir, state.settings))
        protocol.add(QStringLiteral("F:SaveInit ") + QLatin1String(kSettingsFileName));
    if (saveExtraFiles)
        saveExtraFiles();
}

void ClientApp::applySettings()
{
    state.UserName = state.settings.userName;
    const HostAndPort server = splitServerAddress(state.serverForThisRun.isEmpty() ? state.settings.serverAddress
                                                                                    : state.serverForThisRun);
    state.ServerAddress = server.host;
    state.ServerPort = server.port;
    state.UserPassword = state.settings.password;
    state.book.ZeigeAlleOrders = state.settings.zeigeAlleOrders == 1;
    // The colours, then the grid layout that is painted with them.
    colourEditor.loadStartScheme(state.settings.colourFile);
    orderGrid.InitGridLayout();
    executions.InitGridLayout();
    chat.settingsLoaded();
}

void ClientApp::collectSettings()
{
    state.settings.userName = state.UserName;
    state.settings.serverAddress = serverAddressToSave(state.settings.serverAddress, state.serverForThisRun,
                                                       {state.ServerAddress, state.ServerPort});
    state.settings.password = state.UserPassword;
    state.settings.zeigeAlleOrders = state.book.ZeigeAlleOrders ? 1 : 0;
    state.settings.colourFile = toWire(state.colours.currentFile());
    external.collectSettings();
}

} // namespace korvi
