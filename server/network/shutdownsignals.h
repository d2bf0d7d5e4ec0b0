#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace korvi::server {

// Turns SIGTERM and SIGINT into a Qt signal on the event loop, so the server can close
// its connections and its database in order. A signal handler may do almost nothing, so
// it only writes a byte into a pipe that the event loop watches.
class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

signals:
    void requested(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace korvi::server
