#pragma once

// The fake device's network, reset and reboot endpoints of the HTTP JSON API
// (sdk/PROTOCOL-HTTP.md, section 6). Each takes the request and the device's
// state under its lock, fills the reply and returns the HTTP status; when the
// device must serve elsewhere (or be away) once the reply has gone out, it
// says so in move.

#include "FakeHttpApi.h"

#include <optional>

namespace fakedevice
{
struct HttpAddress
{
    std::string ip;
    uint16_t port = 0;
};

struct HttpRelocation
{
    HttpAddress to;
    int offlineMs = 0; // away this long before serving again
    bool reboot = false; // sessions end
};

// The device as it started: what a reset goes back to.
struct HttpFactory
{
    HttpDeviceState state;
    HttpAddress address;
};

int SetNetBase(const Json::Value& body, HttpDeviceState& state, const HttpAddress& current,
    std::optional<HttpRelocation>& move, Json::Value& reply);
int ResetRange(const HttpDeviceState& state, Json::Value& reply);
// Restores the groups data names with true; needs the secondary authentication.
int ResetGroups(const Json::Value& body, bool authenticated, HttpDeviceState& state, const HttpFactory& factory,
    const HttpAddress& current, std::optional<HttpRelocation>& move, Json::Value& reply);
int Reboot(bool authenticated, HttpDeviceState& state, const HttpAddress& current, std::optional<HttpRelocation>& move,
    Json::Value& reply);
} // namespace fakedevice
