#include "remoteformat.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <array>

namespace {

QString text(QByteArrayView bytes) { return QString::fromLatin1(bytes).trimmed(); }

// Numbers from Korvi are written with "." and perhaps a leading blank.
double number(const QByteArray& field) { return field.trimmed().toDouble(); }

QString json(const QJsonObject& object) { return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)); }

QString oneLine(const QByteArray& message)
{
    QByteArray m = message;
    m.replace('\n', " | ");
    return QString::fromLatin1(m);
}

struct Column {
    const char* label;
    const char* key;
    int field;  // 1-based field of the record
    bool numeric;
    bool time = false; // a time of day "hhmmss", shown as "hh:mm:ss"
};

QString cellOf(const QList<QByteArray>& record, const Column& c)
{
    const QString value = text(record.value(c.field - 1));
    return c.time ? clockTime(value) : value;
}

// The account figures, in the order of the "@SUK" fields.
constexpr std::array kAccount{
    Column{"Kontobeginn", "account_start", 1, false}, Column{"Basiswert", "base_value", 4, true},
    Column{"Tagesergebnis", "today_result", 5, true}, Column{"Platz gesamt", "total_place", 6, true},
    Column{"Platz Tag", "day_place", 7, true},        Column{"Margin", "margin", 8, true},
};

// One execution, in the columns of the client's execution grid.
constexpr std::array kExecution{
    Column{"ExID", "execution_id", 6, false}, Column{"OrderID", "order_id", 2, false},
    Column{"Nr", "instrument", 4, true},      Column{"Aktion", "action", 8, false},
    Column{"Stück", "quantity", 9, true},     Column{"Preis", "price", 10, true},
    Column{"Summe", "sum", 11, true},         Column{"Zeit", "time", 7, false, true},
    Column{"Commissions", "commissions", 12, true}, Column{"Gewinn", "profit", 13, true},
};

// One instrument: its number (put in front of the fields of its line), ticker, code, name.
constexpr std::array kInstrument{
    Column{"Nr", "number", 1, true}, Column{"Ticker", "ticker", 2, false},
    Column{"Code", "code", 3, false}, Column{"Name", "name", 4, false},
};

template <size_t N>
QJsonObject objectOf(const QList<QByteArray>& f, const std::array<Column, N>& columns)
{
    QJsonObject o;
    for (const Column& c : columns) {
        const QByteArray value = f.value(c.field - 1);
        if (c.numeric)
            o.insert(QLatin1String(c.key), number(value));
        else
            o.insert(QLatin1String(c.key), cellOf(f, c));
    }
    return o;
}

// Lines of a table: a header, then one line per record, each column as wide as its widest cell.
template <size_t N>
QStringList table(const QList<QList<QByteArray>>& records, const std::array<Column, N>& columns)
{
    std::array<int, N> width{};
    std::vector<std::array<QString, N>> cells(records.size());
    for (size_t c = 0; c < N; ++c)
        width[c] = QString::fromUtf8(columns[c].label).size();
    for (qsizetype r = 0; r < records.size(); ++r) {
        for (size_t c = 0; c < N; ++c) {
            cells[r][c] = cellOf(records[r], columns[c]);
            width[c] = std::max<int>(width[c], cells[r][c].size());
        }
    }
    auto line = [&](auto cellOf) {
        QString l;
        for (size_t c = 0; c < N; ++c) {
            const QString cell = cellOf(c);
            l += columns[c].numeric ? cell.rightJustified(width[c]) : cell.leftJustified(width[c]);
            if (c + 1 < N)
                l += QLatin1String("  ");
        }
        while (l.endsWith(QLatin1Char(' ')))
            l.chop(1);
        return l;
    };
    QStringList lines{line([&](size_t c) { return QString::fromUtf8(columns[c].label); })};
    for (const auto& row : cells)
        lines << line([&](size_t c) { return row[c]; });
    return lines;
}

QList<QList<QByteArray>> recordsOf(const QByteArray& body)
{
    QList<QList<QByteArray>> records;
    for (const QByteArray& record : body.split('\n')) {
        if (!record.trimmed().isEmpty())
            records << record.split(';');
    }
    return records;
}

} // namespace

QString clockTime(const QString& hhmmss)
{
    const QString t = hhmmss.trimmed();
    if (t.size() != 6)
        return hhmmss;
    for (const QChar ch : t)
        if (!ch.isDigit())
            return hhmmss;
    return t.left(2) + QLatin1Char(':') + t.mid(2, 2) + QLatin1Char(':') + t.mid(4, 2);
}

QStringList formatInstruments(const QByteArray& body, RemoteFormat format)
{
    QStringList lines;
    QList<QList<QByteArray>> records;
    const QList<QByteArray> entries = body.isEmpty() ? QList<QByteArray>() : body.split('\n');
    for (const QByteArray& entry : entries) {
        if (format == RemoteFormat::Raw) {
            lines << QString::fromLatin1(entry);
            continue;
        }
        QList<QByteArray> record = entry.split(';');
        record.prepend(QByteArray::number(records.size() + 1));
        records << record;
    }
    switch (format) {
    case RemoteFormat::Raw:
        return lines;
    case RemoteFormat::Json:
        for (const auto& record : records) {
            QJsonObject o = objectOf(record, kInstrument);
            o.insert(QStringLiteral("type"), QStringLiteral("instrument"));
            lines << json(o);
        }
        return lines;
    case RemoteFormat::People:
        break;
    }
    return table(records, kInstrument);
}

QString statusName(int status)
{
    static const char* const names[] = {"-", "PendSubm.", "PendCancel", "PreSubm.", "Submitted", "Cancelled", "Filled"};
    return status >= 0 && status <= 6 ? QLatin1String(names[status]) : QStringLiteral("?");
}

QStringList formatAccount(const QByteArray& body, RemoteFormat format)
{
    const QList<QByteArray> f = body.split(';');
    switch (format) {
    case RemoteFormat::Raw:
        return {QString::fromLatin1(body)};
    case RemoteFormat::Json: {
        QJsonObject o = objectOf(f, kAccount);
        o.insert(QStringLiteral("type"), QStringLiteral("account"));
        return {json(o)};
    }
    case RemoteFormat::People:
        break;
    }
    int width = 0;
    for (const Column& c : kAccount)
        width = std::max<int>(width, QString::fromUtf8(c.label).size());
    QStringList lines;
    for (const Column& c : kAccount)
        lines << QString::fromUtf8(c.label).leftJustified(width + 2) + text(f.value(c.field - 1));
    return lines;
}

QStringList formatExecutions(const QByteArray& body, RemoteFormat format)
{
    const QList<QList<QByteArray>> records = recordsOf(body);
    QStringList lines;
    switch (format) {
    case RemoteFormat::Raw:
        for (const QByteArray& record : body.split('\n')) {
            if (!record.trimmed().isEmpty())
                lines << QString::fromLatin1(record);
        }
        return lines;
    case RemoteFormat::Json:
        for (const auto& record : records) {
            QJsonObject o = objectOf(record, kExecution);
            o.insert(QStringLiteral("type"), QStringLiteral("execution"));
            lines << json(o);
        }
        return lines;
    case RemoteFormat::People:
        break;
    }
    return table(records, kExecution);
}

QString formatMessage(const QByteArray& message, RemoteFormat format)
{
    if (format == RemoteFormat::Raw)
        return oneLine(message);
    const qsizetype semicolon = message.indexOf(';');
    const QByteArray word = semicolon < 0 ? message : message.left(semicolon);
    const QByteArray body = semicolon < 0 ? QByteArray() : message.mid(semicolon + 1);
    const QList<QByteArray> f = body.split(';');
    const bool people = format == RemoteFormat::People;
    QJsonObject o;
    if (word == "@OC") {
        if (people)
            return QStringLiteral("order %1 ref %2").arg(text(f.value(1)), text(f.value(0)));
        o = {{"type", "order"}, {"order", number(f.value(1))}, {"ref", text(f.value(0))}};
    } else if (word == "@OI") {
        if (people)
            return QStringLiteral("order %1 server id %2").arg(text(f.value(0)), text(f.value(1)));
        o = {{"type", "confirmed"}, {"order", number(f.value(0))}, {"server_id", text(f.value(1))}};
    } else if (word == "@OS") {
        const int status = static_cast<int>(number(f.value(1)));
        if (people)
            return QStringLiteral("order %1 status %2 filled %3 rem %4 price %5")
                .arg(text(f.value(0)), statusName(status), text(f.value(2)), text(f.value(3)), text(f.value(4)));
        o = {{"type", "status"},          {"order", number(f.value(0))}, {"status", statusName(status)},
             {"status_code", status},     {"filled", number(f.value(2))}, {"remaining", number(f.value(3))},
             {"price", number(f.value(4))}};
    } else if (word == "@ER") {
        const int code = static_cast<int>(number(f.value(0)));
        if (people)
            return QStringLiteral("error %1: %2").arg(code).arg(text(f.value(1))) +
                   (f.size() > 2 ? QStringLiteral(" (%1)").arg(text(f.value(2))) : QString());
        o = {{"type", "error"}, {"code", code}, {"text", text(f.value(1))}, {"ref", text(f.value(2))}};
    } else if (word == "HERE I AM") {
        if (people)
            return QStringLiteral("Korvi time %1").arg(text(f.value(0)));
        o = {{"type", "time"}, {"time", text(f.value(0))}};
    } else if (word == "@IL") {
        return formatInstruments(body, format).join(QLatin1Char('\n'));
    } else if (word == "@OR") {
        if (people)
            return QStringLiteral("rejected: %1").arg(oneLine(body));
        o = {{"type", "rejected"}, {"text", oneLine(body)}};
    } else if (word == "@SUK") {
        return formatAccount(body, format).join(QLatin1Char('\n'));
    } else if (word == "@SAE") {
        return formatExecutions(body, format).join(QLatin1Char('\n'));
    } else {
        if (people)
            return oneLine(message);
        o = {{"type", "message"}, {"text", oneLine(message)}};
    }
    return json(o);
}
