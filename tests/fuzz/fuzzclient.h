#pragma once

#include "app/clientapp.h"
#include "support/doubles.h"
#include "memorydir.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <functional>
#include <memory>

// The sanitizers of the client targets keep no allocation stacks, only a small
// quarantine, and do not fill new blocks with a pattern: the client allocates much per
// run, and the defaults cost most of the speed. Leaks are not what these runs look for
// (Qt keeps some allocations until exit).
extern "C" const char* __asan_default_options()
{
    return "malloc_context_size=0:quarantine_size_mb=4:max_malloc_fill_size=0:detect_leaks=0";
}

// A whole client without windows or server, with recording doubles for every seam, in a
// folder of its own: what the client-side fuzz targets feed. Its files go to a folder in
// memory where there is one, so documents and price files cost no disk writes. The client
// is made anew every `kRunsPerClient` runs (see run()), so its tables and grid do not grow
// from run to run and every run costs about the same.
struct FuzzClient {
    static constexpr int kRunsPerClient = 500;

    // Qt's own event dispatcher instead of GLib's: it wakes itself once rather than with a
    // system call for every posted event.
    bool ownDispatcher = qputenv("QT_NO_GLIB", "1");
    int argc = 1;
    char name[8] = "fuzz";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    MemoryDir dir;
    korvi::test::FakePrompts prompts;
    korvi::test::FakeSound sound;
    korvi::test::FakeClock clock;
    korvi::test::FakePages pages;
    // Run on every new client (targets that need instruments or orders set them up here).
    std::function<void(korvi::ClientApp&)> setUp;

    korvi::ClientApp& client()
    {
        if (!m_client)
            renew();
        return *m_client;
    }

    // Counts a run; every `kRunsPerClient` runs the client and its folder start afresh.
    void run()
    {
        if (++m_runs % kRunsPerClient == 0)
            renew();
    }

private:
    void renew()
    {
        m_client.reset();
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        prompts.messages.clear();
        prompts.questions.clear();
        sound.played.clear();
        m_client = std::make_unique<korvi::ClientApp>(dir.path(), prompts, sound, clock, pages);
        if (setUp)
            setUp(*m_client);
    }

    std::unique_ptr<korvi::ClientApp> m_client;
    int m_runs = 0;
};
