#include "HttpClient.h"

#include "DeviceEvents.h"

#include <QDebug>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

namespace
{
constexpr int kUploadProgressCode = 394; // UpgradeProgress
constexpr long kJsonTimeoutSeconds = 5;
constexpr long kUploadConnectTimeoutSeconds = 5;
// An upload in which nothing moves for this long is given up: a device that
// stopped reading would otherwise hold the upload thread for ever.
std::atomic<long> g_uploadStallSeconds { 300 };
constexpr curl_off_t kSpeedUnit = 524288;
constexpr const char* kUserAgent = "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64; Trident/7.0; rv:11.0) like Gecko";

// curl_global_init and curl_global_cleanup must not run on several threads at
// once; the library stays initialised while any client exists.
std::mutex g_curlGlobalMutex;
int g_curlClients = 0;

struct HeaderListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

// Appends one line; a failed allocation leaves the list as it was and makes
// the request fail rather than go out without its session headers.
bool AddHeader(HeaderList& list, const std::string& line)
{
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (!grown)
        return false;
    list.release();
    list.reset(grown);
    return true;
}

bool AddHeaders(HeaderList& list, std::initializer_list<std::string> lines)
{
    for (const std::string& line : lines) {
        if (!AddHeader(list, line))
            return false;
    }
    return true;
}

// libcurl drops a custom header whose value is empty; "Name;" sends it empty.
// Values come from device replies: line breaks in them are dropped so that
// they cannot add header lines.
std::string HeaderLine(const char* name, std::string value)
{
    value.erase(std::remove_if(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }), value.end());
    return value.empty() ? std::string(name) + ";" : std::string(name) + ": " + value;
}

// A port as the request string gives it: decimal, 1 to 65535.
long PortNumber(const std::string& text)
{
    if (text.empty() || text.size() > 5)
        return 0;
    long port = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        port = port * 10 + (c - '0');
    }
    return port <= 65535 ? port : 0;
}
} // namespace

HttpClient::HttpClient()
{
    std::lock_guard<std::mutex> lock(g_curlGlobalMutex);
    if (g_curlClients++ == 0)
        curl_global_init(CURL_GLOBAL_ALL);
}

HttpClient::~HttpClient()
{
    if (m_curl)
        curl_easy_cleanup(m_curl);
    std::lock_guard<std::mutex> lock(g_curlGlobalMutex);
    if (--g_curlClients == 0)
        curl_global_cleanup();
}

bool HttpClient::ParseUrl(
    const std::string& request, std::string& host, std::string& port, std::string& path, std::string& body) const
{
    std::string text = request;
    const size_t open = text.find('{');
    if (open == std::string::npos) {
        body.clear();
    } else {
        const size_t close = text.rfind('}');
        body = close != std::string::npos && close > open ? text.substr(open, close - open + 1) : std::string();
        text.erase(open);
    }

    static const std::string kHttp = "http://";
    static const std::string kHttps = "https://";
    if (text.compare(0, kHttp.size(), kHttp) == 0)
        text.erase(0, kHttp.size());
    else if (text.compare(0, kHttps.size(), kHttps) == 0)
        text.erase(0, kHttps.size());
    else
        return false;

    std::string hostPart;
    const size_t slash = text.find('/');
    if (slash == std::string::npos) {
        path = "/";
        hostPart = text;
    } else {
        path = text.substr(slash);
        hostPart = text.substr(0, slash);
    }

    const size_t colon = hostPart.find(':');
    if (colon == std::string::npos) {
        host = hostPart;
        port = m_bHttps ? "443" : "80";
    } else {
        host = hostPart.substr(0, colon);
        port = hostPart.substr(colon + 1);
    }
    return true;
}

bool HttpClient::EnsureHandle()
{
    if (!m_curl)
        m_curl = curl_easy_init();
    if (!m_curl) {
        std::fputs("Failed to init curl \n", stdout);
        return false;
    }
    return true;
}

void HttpClient::SetTlsOptions()
{
    // Devices carry self-signed certificates: no verification of the peer or
    // its name (libcurl refuses such devices with a host check of 1).
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 0L);
}

void HttpClient::Perform()
{
    m_curlResult = curl_easy_perform(m_curl);
    m_responseCode = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &m_responseCode);
    if (m_curlResult == CURLE_OPERATION_TIMEDOUT)
        m_responseBuffer = "Connection timed out";
}

bool HttpClient::PostJson(const std::string& request)
{
    std::string host, port, path, body;
    m_responseBuffer.clear();
    m_responseCode = 0;
    if (!ParseUrl(request, host, port, path, body) || !PortNumber(port)) {
        m_curlResult = CURLE_URL_MALFORMAT;
        m_lastResponse.clear();
        return false;
    }
    if (!EnsureHandle())
        return false;

    HeaderList headers;
    if (!AddHeaders(headers,
            { "Accept: */*", kUserAgent, "Host: " + host, "Content-Length: " + std::to_string(body.size()),
                "Connection: Keep-Alive", "Cache-Control: no-cache", "Content-Type: application/json",
                "X-Requested-With: XMLHttpRequest", "Accept-Encoding: gzip,deflate",
                HeaderLine("X-csrftoken", m_csrfToken), HeaderLine("Cookie", m_cookie) })) {
        m_curlResult = CURLE_OUT_OF_MEMORY;
        m_lastResponse.clear();
        return false;
    }
    const std::string url = (m_bHttps ? "https://" : "http://") + host + path;

    if (m_bHttps)
        SetTlsOptions();
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, kJsonTimeoutSeconds);
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, kJsonTimeoutSeconds);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &HttpClient::OnBodyData);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &m_responseBuffer);
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &HttpClient::OnHeaderData);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, &m_headerBuffer);
    curl_easy_setopt(m_curl, CURLOPT_POST, 1L);
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, body.c_str());
    // Verbose output would print the session cookie and token.
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 0L);
    // A redirect would carry the session cookie and token to wherever the
    // device points, and turn the POST into a GET: it is an answer that fails.
    curl_easy_setopt(m_curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_PORT, PortNumber(port));

    Perform();
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, nullptr);
    m_lastResponse = m_responseBuffer;
    // A reply cut short (connection lost, over the size limit) is no answer,
    // even when its status line said 200.
    return m_curlResult == CURLE_OK && m_responseCode == 200;
}

bool HttpClient::PostUpload(const std::string& url, const std::string& upgradeToken, const std::string& filePath,
    const std::string& data, int size, int speedFactor)
{
    Q_UNUSED(filePath);
    std::string host, port, path, body;
    m_responseBuffer.clear();
    m_responseCode = 0;
    if (!ParseUrl(url, host, port, path, body) || !PortNumber(port) || size < 0
        || static_cast<size_t>(size) > data.size()) {
        m_curlResult = CURLE_BAD_FUNCTION_ARGUMENT;
        m_lastResponse.clear();
        return false;
    }
    if (m_curl) {
        curl_easy_cleanup(m_curl);
        m_curl = nullptr;
    }
    if (!EnsureHandle())
        return false;
    m_lastPercent = -1;

    const std::string scheme = m_bHttps ? "https://" : "http://";
    HeaderList headers;
    if (!AddHeaders(headers,
            { "Accept: application/json,text/plain,*/*", kUserAgent, "Host: " + host,
                "Content-Length: " + std::to_string(size), "Referer: " + scheme + host + "/", "Connection: Keep-Alive",
                "Cache-Control: no-cache", "Content-Type: application/x-www-form-urlencoded",
                "Accept-Encoding: gzip,deflate", HeaderLine("X-csrftoken", m_csrfToken), HeaderLine("Cookie", m_cookie),
                HeaderLine("X-Upgrade-Token", upgradeToken) })) {
        curl_easy_cleanup(m_curl);
        m_curl = nullptr;
        m_curlResult = CURLE_OUT_OF_MEMORY;
        m_lastResponse.clear();
        return false;
    }
    const std::string fullUrl = scheme + host + path;

    if (m_bHttps)
        SetTlsOptions();
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(m_curl, CURLOPT_URL, fullUrl.c_str());
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size));
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &HttpClient::OnBodyData);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &m_responseBuffer);
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &HttpClient::OnHeaderData);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, &m_headerBuffer);
    curl_easy_setopt(m_curl, CURLOPT_MAX_SEND_SPEED_LARGE, static_cast<curl_off_t>(speedFactor) * kSpeedUnit);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &HttpClient::OnUploadProgress);
    curl_easy_setopt(m_curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_TCP_KEEPIDLE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_TCP_KEEPINTVL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, 0L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, kUploadConnectTimeoutSeconds);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, g_uploadStallSeconds.load());
    curl_easy_setopt(m_curl, CURLOPT_POST, 1L);
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, data.data());
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_PORT, PortNumber(port));

    Perform();
    curl_easy_cleanup(m_curl);
    m_curl = nullptr;
    headers.reset();
    m_lastResponse = m_responseBuffer;

    if (m_curlResult == CURLE_OPERATION_TIMEDOUT)
        return false;
    // A device may answer 200 before the image has arrived and then drop the
    // link: only a completed transfer is an upload that happened.
    if (m_curlResult != CURLE_OK) {
        qDebug() << "Curl error";
        return false;
    }
    return m_responseCode == 200;
}

size_t HttpClient::OnBodyData(char* data, size_t size, size_t count, void* user)
{
    if (!user || (count != 0 && size > kMaxResponseBytes / count))
        return 0;
    std::string* buffer = static_cast<std::string*>(user);
    const size_t bytes = size * count;
    if (bytes > kMaxResponseBytes - buffer->size())
        return 0;
    buffer->append(data, bytes);
    return bytes;
}

size_t HttpClient::OnHeaderData(char* data, size_t size, size_t count, void* user)
{
    if (!user)
        return 0;
    std::string* buffer = static_cast<std::string*>(user);
    const size_t bytes = size * count;
    // Nothing reads these lines; they are kept only up to a bound.
    if (bytes <= kMaxHeaderBytes - std::min(buffer->size(), kMaxHeaderBytes))
        buffer->append(data, bytes);
    return bytes;
}

long HttpClient::SetUploadStallSeconds(long seconds)
{
    return g_uploadStallSeconds.exchange(seconds > 0 ? seconds : 1);
}

int HttpClient::OnUploadProgress(void* client, curl_off_t, curl_off_t, curl_off_t uploadTotal, curl_off_t uploadNow)
{
    HttpClient* self = static_cast<HttpClient*>(client);
    if (self && self->m_cancelled && self->m_cancelled())
        return 1; // aborts the transfer
    if (!self || !self->m_pProgressReceiver)
        return 0;
    int percent = 0;
    if (uploadTotal > 0 && uploadNow > 0)
        percent = static_cast<int>(static_cast<double>(uploadNow) / static_cast<double>(uploadTotal) * 100.0);
    percent = std::min(percent, 100);
    // libcurl calls many times a second per upload; the device hears each
    // percent once, so that a batch does not flood the GUI thread.
    if (percent == self->m_lastPercent)
        return 0;
    self->m_lastPercent = percent;
    QUpgradeEvent* event = new QUpgradeEvent(kUploadProgressCode);
    event->value = percent;
    PostDeviceEvent(self->m_pProgressReceiver, event);
    return 0;
}

bool ParseJsonText(Json::CharReaderBuilder& builder, const std::string& text, Json::Value& root, std::string& errors)
{
    try {
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        return reader->parse(text.data(), text.data() + text.size(), &root, &errors);
    } catch (const std::exception& error) {
        errors = error.what();
    } catch (...) {
        errors = "parse failed";
    }
    return false;
}

std::string HttpRequestBase(bool https, const std::string& ip, int port)
{
    return (https ? "https://" : "http://") + ip + ":" + std::to_string(port);
}
