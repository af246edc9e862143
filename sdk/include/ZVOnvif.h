// ZVOnvif: search, connection and parameters of ONVIF devices. Records and texts
// passed in are copied before the call returns.
#ifndef ZVONVIF_H
#define ZVONVIF_H

#include "ZVTypes.h"

enum ZVOnvifParamId : uint32_t
{
    ZVONVIF_PARAM_NETWORK = 511, // ZVOnvifNetworkParam
};

// Network settings (ZVONVIF_PARAM_NETWORK), size-prefixed. Addresses are four
// bytes in dotted order, first number first.
struct ZVOnvifNetworkParam
{
    uint32_t size; // 460
    uint8_t ip[4];
    uint8_t netmask[4];
    uint8_t gateway[4];
    uint8_t reserved16[4];
    uint32_t webPort;
    uint8_t networkMode; // ZVNetNetMode
    uint8_t reserved25[435];
};

static_assert(sizeof(ZVOnvifNetworkParam) == 460);
static_assert(offsetof(ZVOnvifNetworkParam, ip) == 4);
static_assert(offsetof(ZVOnvifNetworkParam, netmask) == 8);
static_assert(offsetof(ZVOnvifNetworkParam, gateway) == 12);
static_assert(offsetof(ZVOnvifNetworkParam, webPort) == 20);
static_assert(offsetof(ZVOnvifNetworkParam, networkMode) == 24);

// Request of ZVOnvifConnectionStart.
struct ZVOnvifConnParam
{
    const char* ip;
    uint32_t port; // web port
    const char* userName; // UTF-8
    const char* password; // UTF-8
    uint32_t reserved16;
    uint32_t reserved20;
    void* user;
    uint32_t reserved28;
    uint32_t reserved32;
    uint32_t reserved36;
    ZVNetStatusCallback statusCallback;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
// Layout on 32-bit targets, where pointers take four bytes.
static_assert(sizeof(ZVOnvifConnParam) == 44);
static_assert(offsetof(ZVOnvifConnParam, port) == 4);
static_assert(offsetof(ZVOnvifConnParam, userName) == 8);
static_assert(offsetof(ZVOnvifConnParam, password) == 12);
static_assert(offsetof(ZVOnvifConnParam, user) == 24);
static_assert(offsetof(ZVOnvifConnParam, statusCallback) == 40);
#endif

extern "C" {

// Life cycle: after ZVNetInit/ZVNetSetEncription at start, released after ZVNetRelease.
// ONVIF work needs both ZVNetInit and ZVOnvifInit; ZVOnvifRelease (or ZVNetRelease)
// ends every ONVIF search and connection and waits for their threads.
int ZVOnvifInit(void);
// How long a search listens for answers, the connect time-out and the time one
// device request may take, in seconds (defaults 2, 2, 2). 0 when not initialised.
int ZVOnvifSetSeachTimeout(int searchSeconds, int connectSeconds, int commandSeconds);
int ZVOnvifRelease(void);

// WS-Discovery: returns a search handle (0 = failure); one record per device,
// told apart by endpoint reference and address (address and web port of its
// device service, name, model and MAC from its scopes), then the end marker, go
// to param->callback. Where the probe goes is a
// library setting (ZVSdkConfig.h). Stop takes the handle's address, zeroes it and
// returns 1; no callback of that search runs after it returns.
int ZVOnvifSearchDevStart(const ZVNetSearchParam* param);
int ZVOnvifSearchDevStop(int* handle);

// Returns a connection handle (0 = failure); the device is spoken to by the
// scheme and path its search answer announced at that address and port (else
// https on port 443 and http elsewhere), and an HTTP Digest challenge (MD5,
// SHA-256) is answered beside the UsernameToken. The outcome arrives later through
// param->statusCallback: ZVNET_STATUS_LOGIN_OK, ZVNET_STATUS_LOGIN_FAILED when the
// device refuses the user or password, ZVNET_STATUS_FAILED for anything else;
// ZVNET_STATUS_PARAM_ERROR (and 0 returned) for an address or port that cannot be.
int ZVOnvifConnectionStart(const ZVOnvifConnParam* param);
int ZVOnvifConnectionStop(int* handle);

// Parameter ZVONVIF_PARAM_NETWORK of a logged-in connection. Both return exactly
// ZVNET_OK on success. In a write, zero address fields and a zero port keep the
// device's values; network modes other than DHCP and static fail.
int ZVOnvifQueryParamEx(int handle, const ZVNetQueryParamExReq* request);
int ZVOnvifSetParam(int handle, const ZVNetSetParamReq* request);

} // extern "C"

#endif // ZVONVIF_H
