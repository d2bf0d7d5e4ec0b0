#include "instrumentconfig.h"

#include "fields.h"
#include "numbers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cmath>

namespace korvi::server {

namespace {

// Texts go into ";"-separated wire records, so they must not carry a separator, a line
// break or a frame character.
bool isWireText(const QByteArray& text)
{
    for (char c : text) {
        if (c == ';' || static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

// A number field must be a plain decimal number; readNumber alone would take "12abc" as 12.
bool readStrictNumber(QByteArrayView text, double& out)
{
    const QByteArray trimmed = text.toByteArray().trimmed();
    if (trimmed.isEmpty())
        return false;
    bool ok = false;
    const double value = trimmed.toDouble(&ok); // QByteArray::toDouble is locale-independent
    if (!ok || !std::isfinite(value))
        return false;
    out = value;
    return true;
}

} // namespace

std::vector<InstrumentSpec> parseInstrumentConfig(const QByteArray& text, QString& error)
{
    std::vector<InstrumentSpec> definitions;
    error.clear();
    const QList<QByteArray> lines = text.split('\n');
    Fields f;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QString where = QStringLiteral("line %1: ").arg(i + 1);
        const int n = f.split(line, 20, ';');
        if (n < 8 || n > 9) {
            error = where + QStringLiteral("expected 8 or 9 fields separated by ';', found %1").arg(n);
            return {};
        }
        InstrumentSpec s;
        s.ticker = f[1].toByteArray().trimmed();
        s.code = f[2].toByteArray().trimmed();
        s.currency = f[3].toByteArray().trimmed();
        s.name = f[4].toByteArray().trimmed();
        if (s.ticker.isEmpty() || s.code.isEmpty() || s.currency.isEmpty() || s.name.isEmpty()) {
            error = where + QStringLiteral("ticker, code, currency and name must not be empty");
            return {};
        }
        if (!isWireText(s.ticker) || !isWireText(s.code) || !isWireText(s.currency) || !isWireText(s.name)) {
            error = where + QStringLiteral("texts must not contain control characters");
            return {};
        }
        const char* names[] = {"factor", "margin", "start price", "tick size", "commission"};
        double* targets[] = {&s.factor, &s.margin, &s.startPrice, &s.tickSize, &s.commission};
        for (int k = 0; k < n - 4; ++k) {
            if (!readStrictNumber(f[5 + k], *targets[k])) {
                error = where + QStringLiteral("%1 is not a number: '%2'")
                                    .arg(QLatin1String(names[k]), QString::fromLatin1(f[5 + k]));
                return {};
            }
        }
        if (s.factor <= 0 || s.tickSize <= 0 || s.startPrice <= 0 || s.margin < 0 || s.commission < 0) {
            error = where + QStringLiteral("factor, start price and tick size must be above 0, margin and commission not negative");
            return {};
        }
        // The start price must lie on the tick grid and leave room below it to move.
        const double ticks = s.startPrice / s.tickSize;
        if (std::fabs(ticks - std::round(ticks)) > 1e-6 || ticks < 100) {
            error = where + QStringLiteral("start price must be a multiple of the tick size and at least 100 ticks");
            return {};
        }
        for (const InstrumentSpec& other : definitions) {
            if (other.ticker == s.ticker || other.code == s.code) {
                error = where + QStringLiteral("ticker or code used twice");
                return {};
            }
        }
        definitions.push_back(std::move(s));
    }
    if (definitions.empty())
        error = QStringLiteral("no instruments configured");
    return definitions;
}

std::vector<InstrumentSpec> loadInstrumentConfig(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return {};
    }
    std::vector<InstrumentSpec> definitions = parseInstrumentConfig(file.readAll(), error);
    if (!error.isEmpty())
        error = path + QStringLiteral(": ") + error;
    return definitions;
}

QString defaultInstrumentConfigPath()
{
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("instruments.conf"));
    if (QFile::exists(besideProgram))
        return besideProgram;
    // An installed server finds the shipped list under share/ beside its bin/ folder.
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/korvi-server/instruments.conf"));
    if (QFile::exists(installed))
        return QDir::cleanPath(installed);
    return QStringLiteral(KORVI_SERVER_SOURCE_DIR "/instruments.conf");
}

} // namespace korvi::server
