#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <functional>
#include <memory>

namespace korvi {

class LogList;

// Receives a file the server sends in three kinds of message: "@FIS" (identifier, target
// name, length), "@FID" (identifier ";" escaped data) and "@FIE" (identifier). The escaped
// data goes into "dummy.bin"; at the end it is decoded into the target, which appears
// only complete. One transfer at a time; a new start drops the running one.
class FileTransfer {
public:
    enum State : quint8 { Idle = 0, Started = 1, Receiving = 2, Finished = 3 };

    // The temporary file of the escaped data, in the working folder.
    static constexpr const char* kTempName = "dummy.bin";
    // Larger packages are refused: no update is anywhere near this.
    static constexpr qint64 kMaxBytes = 256LL * 1024 * 1024;

    FileTransfer(const QString& workDir, LogList& protocol);
    ~FileTransfer();

    void WS_FIS(QByteArrayView body);
    void WS_FID(QByteArrayView body);
    void WS_FIE(QByteArrayView body);
    // Drops an unfinished transfer and its temporary file (the program ends).
    void abandon();
    // Removes a temporary file a crashed run left behind.
    void removeLeftover();

    QByteArray FileTransferId;
    QByteArray FileTransferTarget;
    qint64 FileTransferLength = 0;
    qint64 FileTransferNext = 1;
    quint8 FileTransferState = Idle;

    // Why a target name is refused, or an empty text for a name that may be written.
    static QString refusedName(QByteArrayView name);

    // Called with the target's name when a file has been stored complete.
    std::function<void(const QString& target)> onStored;

private:
    bool running() const { return FileTransferState == Started || FileTransferState == Receiving; }
    // Stops writing: the transfer cannot end in a good file any more.
    void fail(const QString& why);
    void closeTemp(bool remove);
    QString tempPath() const;

    QString m_workDir;
    LogList& m_protocol;
    std::unique_ptr<QFile> m_temp;
    bool m_failed = false;
};

} // namespace korvi
