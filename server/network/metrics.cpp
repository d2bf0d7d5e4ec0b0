#include "metrics.h"

namespace korvi::server {

namespace {

void add(QByteArray& out, const char* name, const char* type, const char* help, double value)
{
    out += QByteArray("# HELP ") + name + ' ' + help + '\n';
    out += QByteArray("# TYPE ") + name + ' ' + type + '\n';
    out += QByteArray(name) + ' ' + QByteArray::number(value, 'g', 15) + '\n';
}

} // namespace

QByteArray prometheusText(const ServerMetrics& m)
{
    QByteArray out;
    add(out, "korvi_connections", "gauge", "Connections open now, logged in or not.", m.connections);
    add(out, "korvi_participants_logged_in", "gauge", "Connections logged in now.", m.loggedIn);
    add(out, "korvi_logins_total", "counter", "Successful logins.", double(m.logins));
    add(out, "korvi_failed_logins_total", "counter", "Logins refused for a wrong name or password.", double(m.failedLogins));
    add(out, "korvi_orders_accepted_total", "counter", "Orders accepted.", double(m.ordersAccepted));
    add(out, "korvi_orders_refused_total", "counter", "Orders refused.", double(m.ordersRefused));
    add(out, "korvi_fills_total", "counter", "Executions.", double(m.fills));
    add(out, "korvi_price_messages_total", "counter", "Price messages sent to the participants.", double(m.priceMessages));
    add(out, "korvi_send_queue_largest_bytes", "gauge", "The largest send queue of a connection now.", double(m.largestSendQueue));
    add(out, "korvi_sessions_dropped_full_queue_total", "counter", "Connections dropped for asking faster than they read.",
        double(m.droppedFullQueue));
    add(out, "korvi_store_commits_total", "counter", "Commits of the trading records.", double(m.commits));
    add(out, "korvi_store_commit_seconds_total", "counter", "Time spent in commits of the trading records.", m.commitSeconds);
    add(out, "korvi_store_commit_last_seconds", "gauge", "Duration of the last commit of the trading records.",
        m.lastCommitSeconds);
    return out;
}

} // namespace korvi::server
