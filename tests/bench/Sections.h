#pragma once

// The benchmark sections. Each runs in a process of its own (the driver starts
// this program once per section), writes its figure blocks to the report and
// says whether it ran, could not run here, or found a fault.

#include "Bench.h"

namespace bench
{
// Where a section's process runs.
enum class Network
{
    Loopback, // in a network namespace of its own, loopback only
    Lan, // makes its own namespace LAN (tests/netns)
};

struct Section
{
    const char* name;
    const char* title;
    Outcome (*run)(const Options& options, Report& report);
    Network network;
};

Outcome LanSearchSection(const Options& options, Report& report);
Outcome OnvifSearchSection(const Options& options, Report& report);
Outcome RangeSearchSection(const Options& options, Report& report);
Outcome NetworkBatchSection(const Options& options, Report& report);
Outcome RebootBatchSection(const Options& options, Report& report);
Outcome UploadSection(const Options& options, Report& report);
Outcome DeviceTableSection(const Options& options, Report& report);
Outcome StartupSection(const Options& options, Report& report);
Outcome GuiGapSection(const Options& options, Report& report);
Outcome FaultGapSection(const Options& options, Report& report);

// Every section, in the order they run.
const QVector<Section>& SectionList();

// The start-up section's measured program: the real start-up (devscan) or a
// bare Qt Widgets window (bare); prints "window-shown" once the window's first
// frame is drawn, then closes it.
int RunWindowMode(int argc, char** argv, const QString& which);
} // namespace bench
