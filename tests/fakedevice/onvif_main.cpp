// Runs fake ONVIF devices until SIGINT/SIGTERM (or --seconds).
//
//   fakeonvif [--count N] [--first IP] [--prefix BITS] [--web-port P] [--discovery-port P]
//             [--user NAME] [--password PW] [--multicast] [--delay-ms MS] [--https]
//             [--digest] [--seconds S]
//
// --count N --first 10.213.1.1 makes devices at 10.213.1.1 and the N-1 addresses
// after it. Answers to a probe wait a random 0 to MS ms (default 500; 0 answers at
// once). --https serves the web port over TLS; --digest asks for HTTP Digest
// beside the WS-UsernameToken. Prints one "device IP" line per device once it
// listens, then "ready".

#include "FakeOnvif.h"

#include "ProgramSupport.h"

#include <cstdio>
#include <memory>

namespace
{
int Usage()
{
    std::fprintf(stderr,
        "usage: fakeonvif [--count N] [--first IP] [--prefix BITS] [--web-port P] [--discovery-port P]\n"
        "                 [--user NAME] [--password PW] [--multicast] [--delay-ms MS] [--https]\n"
        "                 [--digest] [--seconds S]\n");
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    long count = 1, webPort = 8080, discoveryPort = fakedevice::kOnvifDiscoveryPort, delayMs = 500, seconds = 0;
    long prefix = 24;
    std::string first = "127.0.0.10", user = "admin", password = "admin123";
    bool multicast = false, https = false, digest = false;
    fakedevice::program::Options options;
    options.Number("--count", 1, 1000, count);
    options.Text("--first", first);
    options.Numbers({ { "--web-port", &webPort }, { "--discovery-port", &discoveryPort } }, 1, 65535);
    options.Number("--delay-ms", 0, 5000, delayMs);
    options.Number("--seconds", 1, 86400, seconds);
    options.Text("--user", user);
    options.Text("--password", password);
    options.Number("--prefix", 1, 30, prefix);
    options.Flag("--multicast", multicast);
    options.Flag("--https", https);
    options.Flag("--digest", digest);
    if (!options.Parse(argc, argv))
        return Usage();
    std::vector<std::string> addresses;
    if (!fakedevice::program::AddressRun(first, count, addresses))
        return Usage();

    const sigset_t stop = fakedevice::program::BlockStopSignals();

    fakedevice::FakeOnvif::Options onvifOptions;
    onvifOptions.discoveryPort = static_cast<uint16_t>(discoveryPort);
    onvifOptions.multicast = multicast;
    fakedevice::OnvifFaults faults;
    faults.probeDelayMaxMs = static_cast<int>(delayMs);
    std::vector<std::unique_ptr<fakedevice::FakeOnvif>> devices;
    for (const std::string& ip : addresses) {
        fakedevice::OnvifState state
            = fakedevice::OnvifStateFor(ip, fakedevice::program::AddressNumber(ip), static_cast<int>(prefix));
        state.webPort = static_cast<uint16_t>(webPort);
        state.https = https;
        state.httpDigest = digest;
        state.user = user;
        state.password = password;
        devices.push_back(std::make_unique<fakedevice::FakeOnvif>(state, onvifOptions));
        devices.back()->SetFaults(faults);
    }
    if (!fakedevice::program::ReportReady(fakedevice::program::ReportListening(devices, 5000, "fakeonvif")))
        return 1;
    fakedevice::program::WaitForStop(stop, seconds);
    return 0;
}
