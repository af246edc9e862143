#include "WrapperHttp.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <mutex>

namespace zvsdk::wrapper
{
namespace
{
// Deep enough for every reply of the API; deeper documents are refused
// before they can exhaust the parser's stack.
constexpr int kMaxJsonDepth = 64;

// Values come from device replies: a line break would add a header line.
std::string HeaderLine(const char* name, const std::string& value, const char* empty)
{
    std::string clean;
    for (char c : value) {
        if (c != '\r' && c != '\n')
            clean += c;
    }
    return std::string(name) + (clean.empty() ? std::string(empty) : ": " + clean);
}
} // namespace

void EnsureCurl()
{
    static std::once_flag once;
    std::call_once(once, []() { curl_global_init(CURL_GLOBAL_ALL); });
}

// ---- HttpTransfer ---------------------------------------------------------------------------

HttpTransfer::HttpTransfer(HttpPost post, bool reuseConnection)
    : m_post(std::move(post))
{
    EnsureCurl();
    m_url = std::string(m_post.https ? "https://" : "http://") + m_post.ip + ":" + std::to_string(m_post.port)
        + m_post.path;
    m_curl = curl_easy_init();
    if (!m_curl)
        return;
    const std::string lines[] = {
        "Content-Type: application/json",
        "Accept: application/json",
        "Expect:", // no 100-continue round trip for small bodies
        HeaderLine("Cookie", m_post.cookie, ";"),
        HeaderLine("X-csrftoken", m_post.token, ": Undefined"),
    };
    for (const std::string& line : lines) {
        curl_slist* grown = curl_slist_append(m_headers, line.c_str());
        if (!grown) {
            curl_easy_cleanup(m_curl);
            m_curl = nullptr;
            return;
        }
        m_headers = grown;
    }
    curl_easy_setopt(m_curl, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    // Devices are reached directly, whatever proxy the environment names.
    curl_easy_setopt(m_curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(m_curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(m_curl, CURLOPT_POST, 1L);
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, m_post.body.c_str());
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_post.body.size()));
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headers);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &HttpTransfer::OnBody);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReplyBytes));
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max(1, m_post.connectTimeoutMs)));
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max(1, m_post.timeoutMs)));
    // Devices carry self-signed certificates.
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(m_curl, CURLOPT_FORBID_REUSE, reuseConnection ? 0L : 1L);
}

HttpTransfer::~HttpTransfer()
{
    if (m_curl)
        curl_easy_cleanup(m_curl);
    curl_slist_free_all(m_headers);
}

void HttpTransfer::Finish(CURLcode code)
{
    m_reply.code = code;
    if (!m_curl)
        return;
    long status = 0;
    if (curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK)
        m_reply.status = status;
    // The local port is known once the TCP connection was made, also when
    // the TLS handshake on it failed; a refused or unanswered connect has none.
    long localPort = 0;
    if (curl_easy_getinfo(m_curl, CURLINFO_LOCAL_PORT, &localPort) == CURLE_OK)
        m_reply.connected = localPort > 0;
}

size_t HttpTransfer::OnBody(char* data, size_t size, size_t count, void* user)
{
    auto* self = static_cast<HttpTransfer*>(user);
    const size_t bytes = size * count;
    if (bytes > kMaxReplyBytes - std::min(kMaxReplyBytes, self->m_reply.body.size())) {
        self->m_reply.tooLarge = true;
        return 0; // fails the transfer
    }
    self->m_reply.body.append(data, bytes);
    return bytes;
}

// ---- HttpBatch ------------------------------------------------------------------------------

HttpBatch::HttpBatch()
{
    EnsureCurl();
    m_multi = curl_multi_init();
}

HttpBatch::~HttpBatch()
{
    for (auto& running : m_running)
        curl_multi_remove_handle(m_multi, running.first);
    m_running.clear();
    if (m_multi)
        curl_multi_cleanup(m_multi);
}

void HttpBatch::Add(std::unique_ptr<HttpTransfer> transfer)
{
    if (!m_multi || !transfer->Ready() || curl_multi_add_handle(m_multi, transfer->Handle()) != CURLM_OK) {
        transfer->Finish(CURLE_FAILED_INIT);
        m_failed.push_back(std::move(transfer));
        return;
    }
    CURL* handle = transfer->Handle();
    m_running[handle] = std::move(transfer);
}

std::vector<std::unique_ptr<HttpTransfer>> HttpBatch::Poll(int waitMs)
{
    std::vector<std::unique_ptr<HttpTransfer>> done;
    done.swap(m_failed);
    if (m_running.empty())
        return done;
    int stillRunning = 0;
    curl_multi_perform(m_multi, &stillRunning);
    if (done.empty()) {
        curl_multi_poll(m_multi, nullptr, 0, std::max(0, waitMs), nullptr);
        curl_multi_perform(m_multi, &stillRunning);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        // The message is gone once its handle leaves the multi handle.
        CURL* handle = message->easy_handle;
        const CURLcode code = message->data.result;
        const auto it = m_running.find(handle);
        if (it == m_running.end())
            continue;
        curl_multi_remove_handle(m_multi, handle);
        it->second->Finish(code);
        done.push_back(std::move(it->second));
        m_running.erase(it);
    }
    return done;
}

HttpReply HttpBatch::Run(const HttpPost& post, const std::function<bool()>& stopped)
{
    auto transfer = std::make_unique<HttpTransfer>(post);
    const HttpTransfer* mine = transfer.get();
    Add(std::move(transfer));
    for (;;) {
        if (stopped && stopped()) {
            for (auto it = m_running.begin(); it != m_running.end(); ++it) {
                if (it->second.get() == mine) {
                    curl_multi_remove_handle(m_multi, it->first);
                    m_running.erase(it);
                    break;
                }
            }
            HttpReply aborted;
            aborted.code = CURLE_ABORTED_BY_CALLBACK;
            return aborted;
        }
        for (const auto& ended : Poll(100)) {
            if (ended.get() == mine)
                return ended->Reply();
        }
    }
}

// ---- JSON -----------------------------------------------------------------------------------

bool ParseObject(const std::string& text, Json::Value& object)
{
    if (text.empty() || text.size() > std::max(kMaxReplyBytes, kMaxRequestBytes))
        return false;
    try {
        Json::CharReaderBuilder builder;
        builder["collectComments"] = false;
        builder["failIfExtra"] = true;
        builder["stackLimit"] = kMaxJsonDepth;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        Json::Value parsed;
        if (!reader->parse(text.data(), text.data() + text.size(), &parsed, &errors) || !parsed.isObject())
            return false;
        object.swap(parsed);
        return true;
    } catch (...) {
        // The reader throws past its depth limit and on allocation failure.
        return false;
    }
}

const Json::Value* ObjectMember(const Json::Value& object, const char* name)
{
    if (!object.isObject())
        return nullptr;
    const Json::Value* value = object.find(name, name + std::char_traits<char>::length(name));
    return value && !value->isNull() ? value : nullptr;
}

bool TextMember(const Json::Value& object, const char* name, std::string& out)
{
    const Json::Value* value = ObjectMember(object, name);
    if (!value || !value->isString())
        return false;
    out = value->asString();
    return true;
}

bool IntMember(const Json::Value& object, const char* name, int64_t low, int64_t high, int64_t& out)
{
    const Json::Value* value = ObjectMember(object, name);
    if (!value)
        return false;
    int64_t number = 0;
    if (value->type() == Json::intValue)
        number = value->asInt64();
    else if (value->type() == Json::uintValue && value->asUInt64() <= static_cast<uint64_t>(INT64_MAX))
        number = static_cast<int64_t>(value->asUInt64());
    else
        return false;
    if (number < low || number > high)
        return false;
    out = number;
    return true;
}

const Json::Value* SuccessData(const HttpReply& reply, Json::Value& root)
{
    std::string result;
    if (!reply.Ok() || !ParseObject(reply.body, root) || !TextMember(root, "result", result) || result != "success")
        return nullptr;
    const Json::Value* data = ObjectMember(root, "data");
    return data && data->isObject() ? data : nullptr;
}

std::string CompactText(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

// ---- crypto ---------------------------------------------------------------------------------

std::string ToBase64(const std::string& bytes)
{
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]),
        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return text;
}

bool FromBase64(const std::string& text, std::string& bytes)
{
    if (text.empty() || text.size() % 4 != 0 || text.size() > kMaxReplyBytes)
        return false;
    const size_t padding = text.size() - 1 - text.find_last_not_of('=');
    if (padding > 2)
        return false;
    for (size_t i = 0; i < text.size() - padding; ++i) {
        const char c = text[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/'))
            return false;
    }
    std::string out(text.size() / 4 * 3, '\0');
    const int decoded = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&out[0]),
        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (decoded < 0 || static_cast<size_t>(decoded) < padding)
        return false;
    out.resize(static_cast<size_t>(decoded) - padding);
    bytes.swap(out);
    return true;
}

bool RandomText(size_t size, std::string& bytes)
{
    std::string out(size, '\0');
    if (size > 0 && RAND_bytes(reinterpret_cast<unsigned char*>(&out[0]), static_cast<int>(size)) != 1)
        return false;
    bytes.swap(out);
    return true;
}

bool LoginProof(const std::string& password, const std::string& salt, int iterations, const std::string& message,
    std::string& proof)
{
    unsigned char key[32];
    if (iterations < 1
        || PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
               reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), iterations,
               EVP_sha256(), sizeof key, key)
            != 1)
        return false;
    unsigned char mac[EVP_MAX_MD_SIZE];
    size_t macSize = 0;
    const bool ok
        = EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, key, sizeof key,
              reinterpret_cast<const unsigned char*>(message.data()), message.size(), mac, sizeof mac, &macSize)
        != nullptr;
    OPENSSL_cleanse(key, sizeof key);
    if (!ok)
        return false;
    proof.assign(reinterpret_cast<const char*>(mac), macSize);
    return true;
}
} // namespace zvsdk::wrapper
