#include "statements.h"

#include "account/printer.h"
#include "dates.h"
#include "loglist.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <QDir>
#include <QFile>

namespace korvi {

namespace {

// Shown where the statement list cannot go to a printer.
constexpr const char* kNoPrinter = "Es ist kein Drucker eingerichtet - die Liste kann nicht gedruckt werden.";
constexpr const char* kPrintFailed = "Der Druck ist fehlgeschlagen - die Liste wurde nicht gedruckt.";

} // namespace

Statements::Statements(State& state, Clock& clock, Prompts& prompts, LogList& protocol,
                       std::function<bool(qint32)> request, QObject* parent)
    : QObject(parent), m_state(state), m_clock(clock), m_prompts(prompts), m_protocol(protocol),
      m_request(std::move(request))
{
}

QString Statements::fileName(QByteArrayView userKz, qint32 day)
{
    return fromWire(userKz.trimmed()) + fromWire(DatumText(day)) + QStringLiteral("K.TXT");
}

QList<qint32> Statements::daysToRequest(QByteArrayView accountStart, qint32 today,
                                        const std::function<bool(qint32)>& fileExists)
{
    // An account start that names no date counts as the earliest possible one; the
    // 100-day window still bounds the requests.
    qint32 first = DatumAusText(accountStart).value_or(kFirstStatementDay);
    if (first < kFirstStatementDay)
        first = kFirstStatementDay;
    if (today - first > kStatementWindowDays)
        first = today - kStatementWindowDays;
    QList<qint32> days;
    for (qint32 d = first; d <= today; ++d) {
        if (dateOfDay(d).dayOfWeek() >= Qt::Saturday)
            continue;
        if (!fileExists(d))
            days.append(d);
    }
    return days;
}

int Statements::Command12_Click()
{
    if (m_state.users.size() < 2)
        return 0;
    const UserRecord& u = m_state.user();
    const qint32 today = dayNumber(m_clock.now().date());
    const QList<qint32> days = daysToRequest(u.accountStart, today, [&](qint32 d) {
        const QString name = fileName(u.UserKz, d);
        return exist(m_state.filePath(findNoCase(m_state.workDir, name)));
    });
    int sent = 0;
    for (qint32 d : days) {
        if (!m_request || !m_request(d)) {
            // Not connected: the remaining days cannot go out either.
            m_protocol.add(QStringLiteral("F:WSS_GKO nicht verbunden, %1 Auszüge nicht angefordert")
                               .arg(days.size() - sent));
            break;
        }
        ++sent;
    }
    return sent;
}

void Statements::FillAuszug()
{
    const QDir dir(m_state.workDir);
    // Sorted by name, so the statements of one participant stand in date order.
    QStringList files = dir.entryList({QStringLiteral("*K.txt")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    // The user's choice stays chosen while new documents arrive; a file that is gone
    // leaves nothing chosen.
    const QString chosen =
        m_selected >= 0 && m_selected < m_files.size() ? m_files.at(m_selected) : QString();
    const int selected = chosen.isEmpty() ? -1 : int(files.indexOf(chosen));
    if (files != m_files) {
        m_files = std::move(files);
        m_selected = selected;
        emit filesChanged();
    }
    if (selected != m_selected) {
        m_selected = selected;
        emit selectionChanged(m_selected);
    }
}

void Statements::load(int index)
{
    const QString name = m_files.at(index);
    QFile file(m_state.filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        m_protocol.add(QStringLiteral("F:Combo7_Click ") + name + QStringLiteral(": ") + file.errorString());
        return;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_protocol.add(QStringLiteral("F:Combo7_Click ") + name + QStringLiteral(": ") + file.errorString());
        return;
    }
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        QByteArrayView line(content.constData() + start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        m_lines.append(fromWire(line));
        start = end + 1;
    }
    m_lines.append(QString(38, QLatin1Char('-')));
}

void Statements::Combo7_Click(int index)
{
    if (index < 0 || index >= m_files.size())
        return;
    m_selected = index;
    if (!m_append)
        m_lines.clear();
    load(index);
    emit selectionChanged(m_selected);
    emit linesChanged();
}

void Statements::Check2_Click(bool ticked)
{
    m_append = ticked;
    if (!ticked)
        return;
    m_selected = -1;
    m_lines.clear();
    for (int i = 0; i < m_files.size(); ++i) {
        m_selected = i;
        load(i);
    }
    emit selectionChanged(m_selected);
    emit linesChanged();
}

void Statements::Command13_Click()
{
    if (m_selected >= 0 && m_selected < m_files.size()) {
        const QString name = m_files.at(m_selected);
        const QString path = m_state.filePath(name);
        if (isPlainFileName(toWire(name)) && exist(path) && !loesch_datei(path))
            m_protocol.add(QStringLiteral("F:Command13_Click ") + name);
    }
    FillAuszug();
}

void Statements::DruckeListe(const QStringList& lines)
{
    const QDateTime now = m_clock.now();
    QStringList page;
    page.reserve(lines.size() + 2);
    page << QStringLiteral("Ausdruck vom ") + now.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) << QString();
    page += lines;
    const Printer::Result result = m_printer ? m_printer->print(page) : Printer::Result::NoPrinter;
    if (result == Printer::Result::Printed)
        return;
    const char* text = result == Printer::Result::NoPrinter ? kNoPrinter : kPrintFailed;
    m_protocol.add(QStringLiteral("F:DruckeListe ") + QLatin1String(text));
    m_prompts.message(QLatin1String(text));
}

} // namespace korvi
