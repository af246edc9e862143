#pragma once

#include <functional>
#include <thread>

namespace zvsdk
{
// Opens the library for new work (ZVNetInit).
void NetStartup();
// Refuses new work, ends searches, connections, upgrades and jobs, and joins
// their threads (ZVNetRelease).
void NetShutdown();
bool Accepting();

// Runs job on a library thread joined at shutdown; false when the library is
// not accepting work (the job is then dropped).
bool RunTask(std::function<void()> job);

// Keeps a thread that could not be joined because it stopped itself from its
// own callback; joined at shutdown.
void KeepForJoin(std::thread thread);

// Waits the short delay before a first callback, so that it never arrives
// before the start call has returned to its caller.
void FirstCallbackDelay();

// Shutdown parts of the other units.
void SearchShutdown();
void ConnectionShutdown();
} // namespace zvsdk
