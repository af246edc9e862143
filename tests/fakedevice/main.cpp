// Runs fake devices until SIGINT/SIGTERM (or --seconds).
//
//   fakedevice [--count N] [--first IP] [--address IP]... [--udp-port P] [--tcp-port P]
//              [--user NAME] [--password PW] [--first-login] [--broadcast] [--seconds S]
//              [--reply-delay MS]
//
// --count N --first 127.0.0.10 makes devices at 127.0.0.10 .. 127.0.0.(9+N);
// --address may be repeated instead. Prints one "device IP" line per device once
// it listens, then "ready".

#include "FakeDevice.h"

#include "ProgramSupport.h"

#include <cstdio>
#include <memory>

namespace
{
int Usage()
{
    std::fprintf(stderr,
        "usage: fakedevice [--count N] [--first IP] [--address IP]... [--udp-port P] [--tcp-port P]\n"
        "                  [--user NAME] [--password PW] [--first-login] [--broadcast] [--seconds S]\n"
        "                  [--reply-delay MS]\n");
    return 2;
}

using fakedevice::program::Number;
} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> addresses;
    long count = 1, udpPort = fakedevice::kDefaultUdpPort, tcpPort = fakedevice::kDefaultTcpPort, seconds = 0;
    long replyDelayMs = 0;
    std::string first = "127.0.0.10", user = "admin", password = "admin123";
    bool firstLogin = false, broadcast = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--count" && hasValue) {
            if (!Number(argv[++i], 1, 60000, count))
                return Usage();
        } else if (arg == "--first" && hasValue) {
            first = argv[++i];
        } else if (arg == "--address" && hasValue) {
            addresses.push_back(argv[++i]);
        } else if (arg == "--udp-port" && hasValue) {
            if (!Number(argv[++i], 1, 65535, udpPort))
                return Usage();
        } else if (arg == "--tcp-port" && hasValue) {
            if (!Number(argv[++i], 1, 65535, tcpPort))
                return Usage();
        } else if (arg == "--seconds" && hasValue) {
            if (!Number(argv[++i], 1, 86400, seconds))
                return Usage();
        } else if (arg == "--user" && hasValue) {
            user = argv[++i];
        } else if (arg == "--password" && hasValue) {
            password = argv[++i];
        } else if (arg == "--first-login") {
            firstLogin = true;
        } else if (arg == "--reply-delay" && hasValue) {
            if (!Number(argv[++i], 0, 30000, replyDelayMs))
                return Usage();
        } else if (arg == "--broadcast") {
            broadcast = true;
        } else {
            return Usage();
        }
    }
    if (addresses.empty() && !fakedevice::program::AddressRun(first, count, addresses))
        return Usage();

    const sigset_t stop = fakedevice::program::BlockStopSignals();

    fakedevice::FakeDevice::Options options;
    options.udpPort = static_cast<uint16_t>(udpPort);
    options.broadcast = broadcast;
    std::vector<std::unique_ptr<fakedevice::FakeDevice>> devices;
    for (const std::string& ip : addresses) {
        // MAC, id and name follow the address, so that devices of several programs never clash.
        const int number = fakedevice::program::AddressNumber(ip);
        if (number < 0)
            return Usage();
        fakedevice::DeviceState state = fakedevice::LoopbackDeviceState(ip, number);
        state.mediaPort = static_cast<uint16_t>(tcpPort);
        state.users = { { user, firstLogin ? std::string() : password } };
        state.firstLogin = firstLogin;
        devices.push_back(std::make_unique<fakedevice::FakeDevice>(state, options));
        if (replyDelayMs > 0) {
            fakedevice::Faults faults;
            faults.replyDelayMs = static_cast<int>(replyDelayMs);
            devices.back()->SetFaults(faults);
        }
    }
    if (!fakedevice::program::ReportListening(devices, 3000, "fakedevice"))
        return 1;
    fakedevice::program::WaitForStop(stop, seconds);
    return 0;
}
