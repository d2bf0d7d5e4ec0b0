#include "ports.h"

namespace korvi {

QString usualPortHolderGerman(quint16 port)
{
    switch (port) {
    case kGamePort:
        return QStringLiteral("gew\u00f6hnlich der Spielport von korvi-server (dort mit --port zu verlegen)");
    case kAddressPagePort:
        return QStringLiteral(
            "gew\u00f6hnlich die Adressseiten von korvi-server (dort mit --http-port zu verlegen)");
    case kOrderSocketPort:
        return QStringLiteral(
            "gew\u00f6hnlich die Auftragsschnittstelle eines anderen Korvi (dort Einstellungszeile 22)");
    default:
        return {};
    }
}

QString usualPortHolderEnglish(quint16 port)
{
    switch (port) {
    case kGamePort:
        return QStringLiteral("usually another korvi-server's game port (its --port)");
    case kAddressPagePort:
        return QStringLiteral("usually another korvi-server's address pages (its --http-port)");
    case kOrderSocketPort:
        return QStringLiteral(
            "usually a Korvi client's order socket (its settings line 22, the field \"Port\" of "
            "\"Externe Kontrolle Fennix\")");
    default:
        return {};
    }
}

} // namespace korvi
