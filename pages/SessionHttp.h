#pragma once

// The HTTP requests of the configuration pages to the login page's device:
// one client per operation, with the session's cookie, csrf token and
// scheme, sent to the address and port the session logged in at.

#include "HttpClient.h"
#include "TransKey.h"
#include "ZVDevice.h"

#include <json/json.h>

#include <string>

class SessionHttp
{
public:
    explicit SessionHttp(const ZVDevice& session);

    // POST of base + pathAndBody, then the reply parsed; false when the reply
    // does not parse (the request's own outcome shows in the reply).
    bool PostForReply(const std::string& pathAndBody, Json::Value& reply);
    bool RequestKeys(TransKeyForm form, TransKeys& keys);
    // {"cipher", "seq"} of the session's login password for a fresh salt.
    bool SecondaryAuthentication(Json::Value& authentication, TransKeys& keys);
    // True when the reply's "result" is "success".
    static bool Succeeded(const Json::Value& reply);

    const std::string& Base() const { return m_base; }

private:
    const ZVDevice& m_session;
    HttpClient m_client;
    std::string m_base;
};
