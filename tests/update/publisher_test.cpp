// The server's side of publishing an update: which clients get it and how it is cut.
#include "escaping.h"
#include "framing.h"
#include "options.h"
#include "updatepublisher.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::server;

TEST(Publisher, WhoGetsThePackage)
{
    const QVersionNumber below = parseVersion("1.1.369");
    struct Case {
        const char* reported;
        bool gets;
    };
    const Case cases[] = {
        {"V1.1.368", true}, {"V1.0.999", true}, {"V0.9", true},   {"V1.1.369", false},
        {"V1.2.0", false},  {"V2", false},      {"", false},      {"Vx.y", false},
        {"V1.1.368beta", false}, {"1.1.368", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(needsUpdate(c.reported, below), c.gets) << c.reported;
    EXPECT_TRUE(parseVersion("abc").isNull());
}

TEST(Publisher, OptionsGoTogether)
{
    struct Case {
        QStringList args;
        ParseResult result;
    };
    const Case cases[] = {
        {{"--update-package", "p.bin", "--update-below", "1.1.369"}, ParseResult::Run},
        {{"--update-package", "p.bin", "--update-below", "V1.1.369"}, ParseResult::Run},
        {{"--update-package", "p.bin"}, ParseResult::Error},
        {{"--update-below", "1.1.369"}, ParseResult::Error},
        {{"--update-package", "p.bin", "--update-below", "neu"}, ParseResult::Error},
    };
    for (const Case& c : cases) {
        ServerOptions options;
        QString text;
        EXPECT_EQ(parseOptions(c.args, options, text), c.result) << c.args.join(' ').toStdString();
        if (c.result == ParseResult::Run) {
            EXPECT_EQ(options.updatePackage, "p.bin");
            EXPECT_EQ(options.updateBelow, QVersionNumber(1, 1, 369));
        }
    }
}

TEST(Publisher, SenderCutsPiecesOnlyWhileTheQueueIsShort)
{
    QTemporaryDir dir;
    QByteArray raw;
    for (int i = 0; i < 100'000; ++i)
        raw.append(static_cast<char>(i % 7 == 0 ? 0xFE : i % 256));
    const QString path = dir.filePath("p.bin");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(raw);
    }
    QString error;
    const auto package = UpdatePackage::load(path, QVersionNumber(2), error);
    ASSERT_TRUE(package) << error.toStdString();

    std::vector<QByteArray> sent;
    qint64 queued = 0;
    PackageSender sender(package, "42", [&](const QByteArray& f) { sent.push_back(f); queued += f.size(); },
                         [&] { return queued; });
    sender.pump();
    // The start and one piece; then nothing while the queue is full.
    ASSERT_EQ(sent.size(), 2u);
    sender.pump();
    EXPECT_EQ(sent.size(), 2u);
    int rounds = 0;
    while (!sender.done() && rounds++ < 1000) {
        queued = 0; // the connection wrote everything
        sender.pump();
    }
    ASSERT_TRUE(sender.done());

    EXPECT_EQ(sent.front(), frame("@FIS=42;KORVIUP.EXX;" + QByteArray::number(package->escaped.size())));
    EXPECT_EQ(sent.back(), frame("@FIE=42"));
    QByteArray escaped;
    for (size_t i = 1; i + 1 < sent.size(); ++i) {
        const QByteArray& f = sent[i];
        ASSERT_TRUE(f.startsWith("\x01@FID=42;") && f.endsWith('\x02'));
        const QByteArray piece = f.mid(9, f.size() - 10);
        EXPECT_LE(piece.size(), PackageSender::kPieceBytes);
        EXPECT_NE(piece.back(), '\xFE') << "a piece ends inside an escape pair";
        escaped += piece;
    }
    EXPECT_EQ(EscapeDecode(escaped), raw);

    EXPECT_FALSE(UpdatePackage::load(dir.filePath("none"), QVersionNumber(2), error));
    EXPECT_FALSE(error.isEmpty());
}
