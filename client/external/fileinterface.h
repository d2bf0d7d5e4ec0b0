#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace korvi {

class Clock;
class ExternalOrders;
class LogList;

// The command file's items: an item ends at a line end or at a comma outside double
// quotes, leading and trailing blanks are dropped, and a quoted item loses its quotes.
QByteArrayList readCommandItems(QByteArrayView content);

// The confirmation line of an order placed from outside: the reference in double quotes,
// ";", the (negative) user order id with a trailing blank, CR LF.
QByteArray orderConfirmationLine(QByteArrayView reference, qint32 orderUserId);

// The line of an outside order that was refused: the reference in double quotes, ";", the
// number 0 (no order) written as a confirmation writes it, ";@ER;", the code with its
// leading blank, ";", the text, CR LF.
QByteArray orderRefusalLine(QByteArrayView reference, int code, QByteArrayView text);

// "ASCII-Remote": another program drops "KORVIREM.TXT" into the working folder; once a
// second the client takes it over by renaming it, executes its lines and deletes it, and
// appends a line to "KORVIREM.PRT". Orders placed from outside are confirmed in
// "KORVIREM.ORD" while the interface is on.
class FileInterface : public QObject {
    Q_OBJECT
public:
    FileInterface(const QString& folder, ExternalOrders& orders, Clock& clock, LogList& list2,
                  LogList& protocol, QObject* parent = nullptr);

    // "Check6_Click": the polling timer and the list follow the box.
    void Check6_Click(bool ticked);
    bool isOn() const { return m_timer.isActive(); }

    // "ASCII_Timer": one tick.
    void tick();
    // Executes the items of a command file; returns the last item read.
    QByteArray execute(QByteArrayView content);

    // "WriteOrderConfirmation": appends the confirmation line (only while the interface is on).
    void WriteOrderConfirmation(const QByteArray& reference, qint32 orderUserId);
    // An order from outside that was refused gets its line too, so that a program waiting
    // for its reference learns at once that no order exists (only while the interface is on).
    void WriteOrderRefusal(const QByteArray& reference, int code, const QByteArray& text);

    // The buttons "GLATT" and "CANCEL Alle" of the main window.
    std::function<void()> glatt;
    std::function<void()> cancelAll;

    static constexpr const char* kCommandFile = "KORVIREM.TXT";
    static constexpr const char* kWorkFile = "KORVIREM.WRK";
    static constexpr const char* kProtocolFile = "KORVIREM.PRT";
    static constexpr const char* kConfirmationFile = "KORVIREM.ORD";
    // A larger command file is not executed.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

signals:
    // The list of executed lines ("List2" of the settings page) is switched on or off.
    void listEnabled(bool on);

private:
    QString path(const char* name) const;
    bool append(const char* name, const QByteArray& line);

    const QString& m_folder; // the working folder, which is set after construction
    ExternalOrders& m_orders;
    Clock& m_clock;
    LogList& m_list2;
    LogList& m_protocol;
    QTimer m_timer;
    bool m_running = false;
};

} // namespace korvi
