#pragma once

#include <functional>

class QWidget;

// Observers for tests; the program runs with none.
struct StartupHooks
{
    std::function<void(QWidget* mainWindow)> windowShown;
    std::function<void(const char* step)> trace;
};

// How long shutdown waits for pool threads still running a device operation
// before it gives up releasing the SDK under them.
constexpr int kShutdownTaskWaitMs = 10000;

int RunDevscan(int argc, char* argv[], const StartupHooks* hooks = nullptr);
