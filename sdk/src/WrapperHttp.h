#pragma once

// The SDK wrapper's own client of the devices' HTTP JSON API: JSON POSTs over
// libcurl's multi interface, so that one thread can probe many devices at once
// and every wait notices a cancelled worker within 100 ms. Also the JSON and
// crypto helpers of the login exchange. Replies are untrusted: bounded in
// size, parsed without exceptions, read member by member with type checks.

#include <curl/curl.h>
#include <json/json.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zvsdk::wrapper
{
// A reply body beyond this fails the request.
inline constexpr size_t kMaxReplyBytes = 64 * 1024;
// Request texts handed to the wrapper beyond this are refused.
inline constexpr size_t kMaxRequestBytes = 64 * 1024;

// "auto" tries TLS first and plain HTTP when TLS reached the host but got no
// HTTP answer; "http" and "https" force one scheme.
enum class SchemeRule
{
    Auto,
    Http,
    Https,
};

struct HttpPost
{
    bool https = false;
    std::string ip; // IPv4 text, never a host name
    uint16_t port = 0;
    std::string path;
    std::string body;
    std::string cookie; // session cookie "name=value"; empty without a session
    std::string token; // csrf token; empty without a session
    int connectTimeoutMs = 5000;
    int timeoutMs = 5000; // the whole request, connection included
};

struct HttpReply
{
    CURLcode code = CURLE_OK;
    long status = 0; // HTTP status; 0 when none came
    bool connected = false; // the TCP connection was made
    bool tooLarge = false;
    std::string body;

    bool Ok() const { return code == CURLE_OK && status == 200; }
    // A TLS attempt that reached the host and got no HTTP answer: the host may
    // speak plain HTTP on that port.
    bool TryPlain() const { return status == 0 && connected && code != CURLE_ABORTED_BY_CALLBACK; }
};

// One POST in flight.
class HttpTransfer
{
public:
    explicit HttpTransfer(HttpPost post, bool reuseConnection = true);
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    bool Ready() const { return m_curl != nullptr; }
    CURL* Handle() const { return m_curl; }
    const HttpPost& Post() const { return m_post; }
    const HttpReply& Reply() const { return m_reply; }
    // Called when the transfer ended (or could not start) with its result.
    void Finish(CURLcode code);

private:
    static size_t OnBody(char* data, size_t size, size_t count, void* user);

    HttpPost m_post;
    std::string m_url;
    CURL* m_curl = nullptr;
    curl_slist* m_headers = nullptr;
    HttpReply m_reply;
};

// Transfers that run at the same time on one thread; connections to the same
// device are kept for the batch's next request.
class HttpBatch
{
public:
    HttpBatch();
    ~HttpBatch();
    HttpBatch(const HttpBatch&) = delete;
    HttpBatch& operator=(const HttpBatch&) = delete;

    // Starts a transfer; one that cannot start is handed back by the next Poll.
    void Add(std::unique_ptr<HttpTransfer> transfer);
    size_t Running() const { return m_running.size() + m_failed.size(); }
    // Waits at most waitMs for progress; returns the transfers that ended.
    std::vector<std::unique_ptr<HttpTransfer>> Poll(int waitMs);
    // One request to its end; code CURLE_ABORTED_BY_CALLBACK when stopped()
    // turned true first (asked every 100 ms).
    HttpReply Run(const HttpPost& post, const std::function<bool()>& stopped);

private:
    CURLM* m_multi = nullptr;
    std::map<CURL*, std::unique_ptr<HttpTransfer>> m_running;
    std::vector<std::unique_ptr<HttpTransfer>> m_failed;
};

// ---- JSON -----------------------------------------------------------------------------------

// Parses text as one JSON object; false for anything else. Never throws.
bool ParseObject(const std::string& text, Json::Value& object);
// Members of an object, type-checked: null when absent, of another type, or
// when object is no object.
const Json::Value* ObjectMember(const Json::Value& object, const char* name);
bool TextMember(const Json::Value& object, const char* name, std::string& out);
bool IntMember(const Json::Value& object, const char* name, int64_t low, int64_t high, int64_t& out);
// The "data" object of an HTTP 200 reply whose "result" is "success"; null
// otherwise. root keeps the parsed reply.
const Json::Value* SuccessData(const HttpReply& reply, Json::Value& root);
// One line, no spaces.
std::string CompactText(const Json::Value& value);

// ---- crypto of the login exchange -----------------------------------------------------------

std::string ToBase64(const std::string& bytes);
// Standard alphabet with padding; false for anything else.
bool FromBase64(const std::string& text, std::string& bytes);
bool RandomText(size_t size, std::string& bytes);
// HMAC-SHA256(PBKDF2-HMAC-SHA256(password, salt, iterations, 32), message).
bool LoginProof(const std::string& password, const std::string& salt, int iterations, const std::string& message,
    std::string& proof);

// libcurl's global set-up, done once; never undone, since the program's own
// clients init and clean up around it.
void EnsureCurl();
} // namespace zvsdk::wrapper
