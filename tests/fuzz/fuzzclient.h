#pragma once

#include "app/clientapp.h"
#include "support/doubles.h"

#include <QCoreApplication>
#include <QTemporaryDir>

// A whole client without windows or server, with recording doubles for every seam, in a
// folder of its own: what the client-side fuzz targets feed.
struct FuzzClient {
    int argc = 1;
    char name[8] = "fuzz";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    QTemporaryDir dir;
    korvi::test::FakePrompts prompts;
    korvi::test::FakeSound sound;
    korvi::test::FakeClock clock;
    korvi::test::FakePages pages;
    korvi::ClientApp client{dir.path(), prompts, sound, clock, pages};
};
