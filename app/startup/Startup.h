#pragma once

#include <functional>

class QWidget;

// How long shutdown waits for pool threads still running a device operation
// and for the firmware uploads it interrupts, all within this one bound.
// Those operations report to the pages and use the SDK, so neither is torn
// down beneath them; one that has not ended by then ends with the process.
constexpr int kShutdownTaskWaitMs = 10000;

// Observers for tests; the program runs with none.
struct StartupHooks
{
    std::function<void(QWidget* mainWindow)> windowShown;
    std::function<void(const char* step)> trace;
    // Sees each SDK life-cycle call's result and returns the one start-up goes on with.
    std::function<int(const char* call, int result)> sdkResult;
    int shutdownWaitMs = kShutdownTaskWaitMs;
};

int RunDevscan(int argc, char* argv[], const StartupHooks* hooks = nullptr);
