// Library settings of the SDK stand-in, beyond the maker's interface: where the
// device search is sent, and the protocol's ports and time-outs. Defaults suit a
// real LAN; tests on loopback set explicit targets and non-privileged ports.
#ifndef ZVSDKCONFIG_H
#define ZVSDKCONFIG_H

extern "C" {

// Destination addresses (IPv4 texts) of ZVNetSearchDev and of the network-change
// request. count 0 (or a null list) restores the default: the broadcast address
// of every IPv4 interface that is up. Returns 1, or 0 (settings unchanged) when
// an address does not parse or count is negative.
int ZVSdkSetSearchTargets(const char* const* addresses, int count);

// UDP port the devices listen on (default 9610). 0 restores the default.
int ZVSdkSetUdpPort(int port);

// Time the search waits for answers after the last request (default 2000 ms).
// 0 restores the default.
int ZVSdkSetSearchWindow(int milliseconds);

// Connect/login time-out and per-request time-out (defaults 5000 ms each).
// 0 restores a default.
int ZVSdkSetTimeouts(int connectMilliseconds, int requestMilliseconds);

// Both range searches (ZVNetSearchDevPoint2Point and the wrapper's
// zv_search_device): how many addresses one search asks at once (default 64, at
// most 1024) and how long each address may take to answer (default 3000 ms; for
// the wrapper TLS and the plain HTTP attempt after it share that time). An
// address is asked once more a quarter of its time-out later when it has not
// answered; an answer after its time-out is dropped. A search ends with its
// null record once every address has answered or run out of time. 0 restores a
// default. Returns 1, or 0 (settings unchanged) when a value is out of range.
int ZVSdkSetRangeLimits(int concurrency, int timeoutMilliseconds);

// The web port the wrapper's range search asks at each address (default 80),
// then ZVSdkSetRangeLimits(concurrency, timeoutMilliseconds). 0 restores a
// default. Returns 1, or 0 (settings unchanged) when a value is out of range.
int ZVSdkSetRangeSearch(int port, int concurrency, int timeoutMilliseconds);

// Ends the range searches started with this user value early: they ask nothing
// more and deliver their null record within 100 ms. Returns how many there were.
int ZVSdkStopSearch(void* user);

// Addresses being asked by all range searches now, and the most there were at
// once since the last reset; resetPeak non-zero starts a new peak at the current
// count. Either pointer may be null.
void ZVSdkGetRangeLoad(int* inFlight, int* peak, int resetPeak);

// Destinations (IPv4 texts) of the ONVIF discovery probe, sent unicast. count 0
// (or a null list) restores the default: the WS-Discovery multicast group
// 239.255.255.250 on every IPv4 interface that is up, loopback excluded.
// Returns 1, or 0 (settings unchanged) when an address does not parse.
int ZVSdkSetOnvifSearchTargets(const char* const* addresses, int count);

// UDP port of the ONVIF discovery probe (default 3702). 0 restores the default.
int ZVSdkSetOnvifDiscoveryPort(int port);

} // extern "C"

#endif // ZVSDKCONFIG_H
