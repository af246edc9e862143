#pragma once

// The transport to the devices' HTTP JSON API: one libcurl easy handle per
// client, one client per device operation, used by one thread.

#include <curl/curl.h>
#include <json/json.h>

#include <atomic>
#include <functional>
#include <string>

class QObject;

class HttpClient
{
public:
    // Bounds on what a device may send back; a reply beyond them fails.
    static constexpr size_t kMaxResponseBytes = 16 * 1024 * 1024;
    static constexpr size_t kMaxHeaderBytes = 64 * 1024;

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    void SetCookie(const std::string& cookie) { m_cookie = cookie; }
    void SetCsrfToken(const std::string& token) { m_csrfToken = token; }
    void SetHost(const std::string& host) { m_host = host; }
    void SetHttps(bool https) { m_bHttps = https; }
    // Receives QUpgradeEvents with the upload percent; not owned.
    void SetProgressReceiver(QObject* receiver) { m_pProgressReceiver = receiver; }
    // Asked during an upload, about once a second and whenever data moves;
    // true ends the upload as failed. Called on the uploading thread.
    void SetCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }
    // An upload in which nothing moves for this many seconds fails; returns
    // the limit in force before (tests shorten it).
    static long SetUploadStallSeconds(long seconds);

    // request: scheme, host, ":" port, path, then the JSON body glued on.
    // True when the device answered with HTTP 200 and the transfer completed.
    bool PostJson(const std::string& request);
    // Sends size bytes of data (size must not exceed data) with a cap of
    // speedFactor x 512 KiB/s. filePath only names the upload. True only when
    // the whole transfer completed and the device answered with HTTP 200.
    bool PostUpload(const std::string& url, const std::string& upgradeToken, const std::string& filePath,
        const std::string& data, int size, int speedFactor);
    std::string GetResponse() const { return m_lastResponse; }
    long GetResponseCode() const { return m_responseCode; }
    CURLcode GetCurlResult() const { return m_curlResult; }

    bool ParseUrl(
        const std::string& request, std::string& host, std::string& port, std::string& path, std::string& body) const;

    static size_t OnBodyData(char* data, size_t size, size_t count, void* user);
    static size_t OnHeaderData(char* data, size_t size, size_t count, void* user);
    static int OnUploadProgress(
        void* client, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t uploadTotal, curl_off_t uploadNow);

private:
    bool EnsureHandle();
    void SetTlsOptions();
    void Perform();

    std::string m_lastResponse;
    std::string m_csrfToken;
    std::string m_cookie;
    std::string m_host;
    bool m_bHttps = false;
    std::string m_responseBuffer;
    std::string m_headerBuffer;
    CURL* m_curl = nullptr;
    CURLcode m_curlResult = CURLE_OK;
    QObject* m_pProgressReceiver = nullptr;
    long m_responseCode = 0;
    std::function<bool()> m_cancelled;
    int m_lastPercent = -1; // last upload percent posted
};

// Parses the whole text with a reader from builder. Never throws: a reader
// exception (nesting too deep, for one) is a parse failure.
bool ParseJsonText(Json::CharReaderBuilder& builder, const std::string& text, Json::Value& root, std::string& errors);

// The front of every request string: scheme, address, ":" and the web port.
std::string HttpRequestBase(bool https, const std::string& ip, int port);
