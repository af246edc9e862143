#pragma once

// Requests of the operations that run on a logged-in HTTP-API device: the
// session the JSON login stored, and the device's address and web port.

#include <json/json.h>

#include <string>

class DeviceInfo;
class HttpClient;

// "http(s)://ip:port" of the device's search record, by the session's scheme.
std::string DeviceWebBase(const DeviceInfo& device);

// Gives client the device's session: cookie, csrf token, scheme and host.
void UseDeviceSession(HttpClient& client, const DeviceInfo& device);

// POSTs request and parses the reply. False on a failed request (no answer,
// a status other than 200) or a reply that is not JSON.
bool PostDeviceJson(HttpClient& client, const std::string& request, Json::Value& reply);

// The body of a request: {"version":"1.0","data":data}, compact.
std::string RequestBody(const Json::Value& data);

// True when reply's top-level "result" is the text "success".
bool IsSuccessReply(const Json::Value& reply);
