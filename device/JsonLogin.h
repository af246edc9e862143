#pragma once

// The JSON login of the HTTP-API devices through the SDK wrapper: the login
// text the program sends and the result text the wrapper answers with.

#include <string>

struct LoginResult
{
    int code = 0; // ConnectOk, LoginFailed or ConnectClosed
    std::string cookie;
    std::string token;
    bool https = false;
    int port = 0;
};

std::string BuildLoginJson(const std::string& ip, const std::string& user, const std::string& password, int port);

// The wrapper answers once, so a text that is not a complete result (no
// JSON, an unknown status, a success without its session values) ends the
// login as ConnectClosed rather than leaving the device waiting.
LoginResult ParseLoginResult(const char* json);
