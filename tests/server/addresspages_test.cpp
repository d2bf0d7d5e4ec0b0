#include "addresspages.h"

#include <gtest/gtest.h>

using korvi::server::addressPageResponse;

namespace {

QByteArray bodyOf(const QByteArray& response) { return response.mid(response.indexOf("\r\n\r\n") + 4); }

TEST(AddressPageTest, EachPageIsOneLineWithHostAndGamePort)
{
    for (const char* page : {"/ipkorvi.html", "/ip.html", "/ipvarn3.html", "/ip.html?nocache=1"}) {
        const QByteArray r = addressPageResponse("GET " + QByteArray(page) + " HTTP/1.1\r\nHost: x\r\n\r\n", "10.1.2.3", 4100);
        EXPECT_TRUE(r.startsWith("HTTP/1.0 200 OK\r\n")) << page;
        EXPECT_EQ(bodyOf(r), "10.1.2.3:4100\r\n") << page;
        EXPECT_TRUE(r.contains("Content-Length: 15\r\n"));
    }
    const QByteArray head = addressPageResponse("HEAD /ip.html HTTP/1.0\r\n\r\n", "h.example", 1);
    EXPECT_TRUE(head.startsWith("HTTP/1.0 200"));
    EXPECT_TRUE(bodyOf(head).isEmpty());
}

TEST(AddressPageTest, IncompleteUnknownAndOddRequests)
{
    EXPECT_TRUE(addressPageResponse("GET /ip.html HTTP/1.0\r\nHost:", "h", 1).isEmpty()) << "header not complete yet";
    const QByteArray missing = addressPageResponse("GET /index.html HTTP/1.0\r\n\r\n", "h", 1);
    EXPECT_TRUE(missing.startsWith("HTTP/1.0 404"));
    EXPECT_TRUE(bodyOf(missing).contains("existiert")) << "the client's test for a missing page";
    EXPECT_TRUE(addressPageResponse("POST /ip.html HTTP/1.0\r\n\r\n", "h", 1).startsWith("HTTP/1.0 405"));
    EXPECT_TRUE(addressPageResponse("\r\n\r\n", "h", 1).startsWith("HTTP/1.0 400"));
}

} // namespace
