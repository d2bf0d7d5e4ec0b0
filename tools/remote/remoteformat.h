#pragma once

#include <QByteArray>
#include <QStringList>

// How korvi-remote prints what Korvi sends: labelled, aligned columns for people, one JSON
// object per line for scripts, or the protocol lines as they came.
enum class RemoteFormat { People, Json, Raw };

// The data part of "@SUK" (the account figures).
QStringList formatAccount(const QByteArray& body, RemoteFormat format);
// The data part of "@SAE" (every execution, one record per line).
QStringList formatExecutions(const QByteArray& body, RemoteFormat format);
// The data part of "@IL" (the instrument list, "Ticker;Code;Name" per line; an entry's
// number is its place in the list).
QStringList formatInstruments(const QByteArray& body, RemoteFormat format);
// A time of day as Korvi sends it ("130633") in the form people read ("13:06:33"); any
// other text is returned as it is.
QString clockTime(const QString& hhmmss);
// One whole message from Korvi's order socket, as "watch" prints it.
QString formatMessage(const QByteArray& message, RemoteFormat format);
// The status name of a status number, as the client shows it.
QString statusName(int status);
