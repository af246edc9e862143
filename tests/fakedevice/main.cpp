// Runs fake devices until SIGINT/SIGTERM (or --seconds).
//
//   fakedevice [--count N] [--first IP] [--address IP]... [--udp-port P] [--tcp-port P]
//              [--user NAME] [--password PW] [--first-login] [--broadcast] [--seconds S]
//              [--reply-delay MS]
//              [--sdk N] [--onvif N] [--http N] [--web-port P] [--onvif-port P]
//              [--discovery-port P] [--multicast] [--silent N] [--late N] [--refuse N]
//              [--new-http N]
//
// --count N --first 127.0.0.10 makes devices at 127.0.0.10 .. 127.0.0.(9+N);
// --address may be repeated instead. Prints one "device IP" line per device once
// it listens, then "ready".
//
// Kinds: by default every device speaks our SDK protocol. --sdk, --onvif and
// --http give the mix instead (the count is their sum; addresses are handed out
// in that order):
//   sdk    answers the SDK search (UDP --udp-port) and serves --tcp-port;
//   onvif  answers WS-Discovery on --discovery-port (--multicast joins the
//          group) and SOAP on --onvif-port (default 8080);
//   http   answers the SDK search like sdk, naming --web-port (default 80) as
//          its web port, where it serves the HTTP JSON API (plain and TLS).
// Faults, counted from the last device of each kind backwards: the last
// --silent N answer nothing at all, the --late N before them answer every
// request --reply-delay MS late (default 3000; ONVIF devices only delay their
// discovery answers, each by up to MS), the --refuse N before those hold
// another password than --password ("<PW>-other") and so refuse it.
// --reply-delay without --late delays every device, as before.
// --new-http N: the last N HTTP devices have no password yet (as --first-login
// makes every device).

#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "FakeOnvif.h"

#include "ProgramSupport.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace
{
int Usage()
{
    std::fprintf(stderr,
        "usage: fakedevice [--count N] [--first IP] [--address IP]... [--udp-port P] [--tcp-port P]\n"
        "                  [--user NAME] [--password PW] [--first-login] [--broadcast] [--seconds S]\n"
        "                  [--reply-delay MS]\n"
        "                  [--sdk N] [--onvif N] [--http N] [--web-port P] [--onvif-port P]\n"
        "                  [--discovery-port P] [--multicast] [--silent N] [--late N] [--refuse N]\n"
        "                  [--new-http N]\n");
    return 2;
}

enum class Kind
{
    Sdk,
    Onvif,
    Http,
};

enum class Fault
{
    None,
    Silent,
    Late,
    Refuse,
};

// The fault of the index-th of count devices of one kind (see the usage above).
Fault FaultOf(long index, long count, long silent, long late, long refuse)
{
    const long fromEnd = count - 1 - index;
    if (fromEnd < silent)
        return Fault::Silent;
    if (fromEnd < silent + late)
        return Fault::Late;
    if (fromEnd < silent + late + refuse)
        return Fault::Refuse;
    return Fault::None;
}
} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> addresses;
    long count = 1, udpPort = fakedevice::kDefaultUdpPort, tcpPort = fakedevice::kDefaultTcpPort, seconds = 0;
    long replyDelayMs = -1;
    long sdkCount = -1, onvifCount = -1, httpCount = -1;
    long webPort = 80, onvifPort = 8080, discoveryPort = fakedevice::kOnvifDiscoveryPort;
    long silent = 0, late = 0, refuse = 0, newHttp = 0;
    std::string first = "127.0.0.10", user = "admin", password = "admin123";
    bool firstLogin = false, broadcast = false, multicast = false, countGiven = false;
    fakedevice::program::Options arguments;
    arguments.Number("--count", 1, 60000, count, &countGiven);
    arguments.Text("--first", first);
    arguments.Texts("--address", addresses);
    arguments.Numbers({ { "--udp-port", &udpPort }, { "--tcp-port", &tcpPort }, { "--web-port", &webPort },
                          { "--onvif-port", &onvifPort }, { "--discovery-port", &discoveryPort } },
        1, 65535);
    arguments.Number("--seconds", 1, 86400, seconds);
    arguments.Text("--user", user);
    arguments.Text("--password", password);
    arguments.Flag("--first-login", firstLogin);
    arguments.Number("--reply-delay", 0, 30000, replyDelayMs);
    arguments.Flag("--broadcast", broadcast);
    arguments.Flag("--multicast", multicast);
    arguments.Numbers(
        { { "--sdk", &sdkCount }, { "--silent", &silent }, { "--late", &late }, { "--refuse", &refuse } }, 0, 60000);
    arguments.Numbers({ { "--onvif", &onvifCount }, { "--http", &httpCount }, { "--new-http", &newHttp } }, 0, 1000);
    if (!arguments.Parse(argc, argv))
        return Usage();
    const bool mixed = sdkCount >= 0 || onvifCount >= 0 || httpCount >= 0;
    if (mixed) {
        const long total = std::max(sdkCount, 0L) + std::max(onvifCount, 0L) + std::max(httpCount, 0L);
        // A count beside the mix must agree with it; so must a list of addresses.
        if (total < 1 || (countGiven && count != total))
            return Usage();
        count = total;
        if (!addresses.empty() && long(addresses.size()) != total)
            return Usage();
    } else {
        sdkCount = addresses.empty() ? count : long(addresses.size());
    }
    sdkCount = std::max(sdkCount, 0L);
    onvifCount = std::max(onvifCount, 0L);
    httpCount = std::max(httpCount, 0L);
    // Without --late an explicit delay holds for every device, as it always did.
    const int lateMs = replyDelayMs >= 0 ? int(replyDelayMs) : 3000;
    const int everyDelayMs = late == 0 && replyDelayMs > 0 ? int(replyDelayMs) : 0;

    if (addresses.empty() && !fakedevice::program::AddressRun(first, count, addresses))
        return Usage();

    const sigset_t stop = fakedevice::program::BlockStopSignals();

    fakedevice::FakeDevice::Options options;
    options.udpPort = static_cast<uint16_t>(udpPort);
    options.broadcast = broadcast;
    fakedevice::FakeOnvif::Options onvifOptions;
    onvifOptions.discoveryPort = static_cast<uint16_t>(discoveryPort);
    onvifOptions.multicast = multicast;
    const std::string otherPassword = password + "-other";

    std::vector<std::unique_ptr<fakedevice::FakeDevice>> devices;
    std::vector<std::unique_ptr<fakedevice::FakeOnvif>> onvifDevices;
    std::vector<std::unique_ptr<fakedevice::FakeHttpApi>> httpDevices;
    for (size_t n = 0; n < addresses.size(); ++n) {
        const std::string& ip = addresses[n];
        const long at = long(n);
        const Kind kind = at < sdkCount ? Kind::Sdk : at < sdkCount + onvifCount ? Kind::Onvif : Kind::Http;
        const long index = kind == Kind::Sdk ? at : kind == Kind::Onvif ? at - sdkCount : at - sdkCount - onvifCount;
        const long ofKind = kind == Kind::Sdk ? sdkCount : kind == Kind::Onvif ? onvifCount : httpCount;
        const Fault fault = FaultOf(index, ofKind, silent, late, refuse);
        const std::string& devicePassword = fault == Fault::Refuse ? otherPassword : password;
        const bool noPassword = firstLogin || (kind == Kind::Http && ofKind - 1 - index < newHttp);
        // MAC, id and name follow the address, so that devices of several programs never clash.
        const int number = fakedevice::program::AddressNumber(ip);
        if (number < 0)
            return Usage();
        const int id = number;

        if (kind == Kind::Onvif) {
            fakedevice::OnvifState state = fakedevice::OnvifStateFor(ip, id);
            state.webPort = static_cast<uint16_t>(onvifPort);
            state.user = user;
            state.password = devicePassword;
            fakedevice::OnvifFaults faults;
            faults.probeDelayMaxMs = fault == Fault::Late ? lateMs : everyDelayMs;
            faults.noProbeAnswer = fault == Fault::Silent;
            faults.silentAfterConnect = fault == Fault::Silent;
            onvifDevices.push_back(std::make_unique<fakedevice::FakeOnvif>(state, onvifOptions));
            onvifDevices.back()->SetFaults(faults);
            continue;
        }

        fakedevice::DeviceState state = fakedevice::LoopbackDeviceState(ip, id);
        state.mediaPort = static_cast<uint16_t>(tcpPort);
        state.users = { { user, noPassword ? std::string() : devicePassword } };
        state.firstLogin = noPassword;
        if (kind == Kind::Http) {
            state.webPort = static_cast<uint16_t>(webPort);
            fakedevice::HttpDeviceState httpState;
            httpState.user = user;
            httpState.password = noPassword ? std::string() : devicePassword;
            httpState.initialised = !noPassword;
            fakedevice::FakeHttpApi::Options httpOptions;
            httpOptions.ip = ip;
            httpOptions.port = static_cast<uint16_t>(webPort);
            httpOptions.scheme = fakedevice::FakeHttpApi::Scheme::Both;
            httpDevices.push_back(std::make_unique<fakedevice::FakeHttpApi>(httpState, httpOptions));
            fakedevice::HttpFaults httpFaults;
            httpFaults.neverAnswer = fault == Fault::Silent;
            httpFaults.delayMs = fault == Fault::Late ? lateMs : everyDelayMs;
            httpDevices.back()->SetFaults(httpFaults);
        }
        devices.push_back(std::make_unique<fakedevice::FakeDevice>(state, options));
        fakedevice::Faults faults;
        faults.noAnswer = fault == Fault::Silent;
        faults.replyDelayMs = fault == Fault::Late ? lateMs : everyDelayMs;
        if (faults.noAnswer || faults.replyDelayMs > 0)
            devices.back()->SetFaults(faults);
    }
    int failed = fakedevice::program::ReportListening(devices, 3000, "fakedevice");
    failed += fakedevice::program::ReportListening(onvifDevices, 5000, "fakedevice", "onvif");
    for (const auto& device : httpDevices) {
        if (!device->Listening()) {
            std::fprintf(stderr, "fakedevice: cannot listen at %s:%ld (http)\n", device->Ip().c_str(), webPort);
            ++failed;
        }
    }
    if (!fakedevice::program::ReportReady(failed))
        return 1;
    fakedevice::program::WaitForStop(stop, seconds);
    return 0;
}
