#pragma once

// The JSON login of the HTTP-API devices through the SDK wrapper: the login
// text the program sends and the result text the wrapper answers with.

#include <string>

struct LoginResult
{
    int code = 0; // ConnectOk, LoginFailed, ConnectClosed, or 0: nothing usable
    std::string cookie;
    std::string token;
    bool https = false;
    int port = 0;
};

std::string BuildLoginJson(const std::string& ip, const std::string& user, const std::string& password, int port);

// A text that is not a complete result (no JSON, an unknown status, a
// success without its session values) gives code 0: it changes nothing, and
// the attempt ends only when the login wait has passed.
LoginResult ParseLoginResult(const char* json);

// How long a JSON login waits for the wrapper's result before it ends as a
// failed connection; 0 or less restores the default. Returns the wait before.
int SetJsonLoginWaitMs(int milliseconds);
