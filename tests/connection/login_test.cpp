#include "app/clientapp.h"
#include "support/liveserver.h"
#include "support/scriptedpeer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

struct LoginFixture : ClientFixture {
    LoginFixture() : ClientFixture(Offline)
    {
        app.state.ServerAddress = "127.0.0.1";
        app.state.UserName = "anna";
        app.state.UserPassword = "pw";
        InitUser(app.state);
        app.connection.load(false);
        app.connection.setPortField(QByteArray::number(peer.port()));
    }
    void connect()
    {
        app.connection.login();
        ASSERT_TRUE(waitFor([&] { return app.connection.isConnected() && peer.connectionCount() == 1; }));
    }
    void in(QByteArrayView m) { app.dispatcher.dispatch(m); }
};

} // namespace

TEST(Login, RequestButtonsAreSentOnlyWhileConnected)
{
    LoginFixture f;
    Login& l = f.app.login;
    EXPECT_FALSE(l.Command4_Click());
    EXPECT_FALSE(l.WSS_GKO(3));
    f.in("@WELCOME=egal"); // the chat box is not ticked: nothing to send anyway
    f.connect();

    EXPECT_TRUE(l.Command4_Click());
    l.Command6_Click();
    l.Command7_Click();
    l.Command8_Click();
    l.Command9_Click();
    l.WSS_GKO(-12);
    l.WS_RequestSystemInfos();
    ASSERT_TRUE(waitFor([&] { return f.peer.received.size() >= 7; }));
    EXPECT_EQ(f.peer.received,
              QByteArrayList({"@TIMEGET", "@IR", "@RA", "@RAO", "@RAE", "@GKO=-12", "@RI"}));
    // Only the system-information request goes through the logged sending.
    EXPECT_EQ(f.app.outgoing.lines(), QStringList({"OUT:\x01@RI\x02"}));
}

TEST(Login, WelcomeShowsTheGreetingAndAnnouncesTheChat)
{
    LoginFixture f;
    auto welcome = record(&f.app, &ClientApp::welcomeText);
    f.connect();
    f.in("@WELCOME");
    f.app.login.chatBox = true;
    f.in("@WELCOME=Hallo");
    ASSERT_EQ(welcome->size(), 2);
    EXPECT_EQ(welcome->at(1), QStringLiteral("Willkommen beim Orvenspiel Demo-Server"));
    ASSERT_TRUE(waitFor([&] { return f.peer.received.size() >= 2; }));
    EXPECT_EQ(f.peer.received, QByteArrayList({"@CH=2", "@RCU="}));
}

TEST(Login, UserDataSetsTheShortId)
{
    LoginFixture f;
    auto uid = record(&f.app, &ClientApp::uidText);
    f.in("@UD=ab1\nrest");
    EXPECT_EQ(f.app.state.user().UserKz, "ab1   ");
    f.in("@UD=LONGERID7");
    EXPECT_EQ(f.app.state.user().UserKz, "LONGER");
    f.in("@UD=");
    EXPECT_EQ(f.app.state.user().UserKz, "      ");
    EXPECT_EQ(*uid, QStringList({"UID:ab1", "UID:LONGERID7", "UID:"}));
}

TEST(Login, TimeSetGoesThroughTheClockAndBadTimesAreIgnored)
{
    LoginFixture f;
    f.in("@TS=09:05:07");
    f.in("@TIMESET= 23:59:59 ");
    f.in("@TS=7:45"); // hours and minutes only: the seconds are 0
    f.in("@TS=25:00:00");
    f.in("@TS=gestern");
    f.in("@TS=");
    EXPECT_EQ(f.clock.setTimes, QList<QTime>({QTime(9, 5, 7), QTime(23, 59, 59), QTime(7, 45, 0)}));
}

TEST(Login, BlockedUserStopsTheReconnectsInAnyCase)
{
    LoginFixture f;
    f.connect();
    f.in("@MSG=USER GESPERRT!");
    EXPECT_TRUE(f.app.connection.KeepConnected);
    f.in("@MESSAGE=user gesperrt");
    EXPECT_FALSE(f.app.connection.KeepConnected);
    EXPECT_EQ(f.app.messages.messageLine(), QStringLiteral("09:30:15 user gesperrt"));
}
