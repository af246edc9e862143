#include "OnvifSoap.h"

#include <QByteArray>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>
#include <ctime>
#include <mutex>

namespace zvsdk::onvif
{
const char* const kSoapEnvelopeNs[] = { ns::kSoap12, ns::kSoap11, nullptr };
const char* const kDiscoveryNs[] = { ns::kDiscovery, ns::kDiscovery11, nullptr };
const char* const kAddressingNs[] = { ns::kAddressing, ns::kAddressing10, nullptr };

namespace
{
constexpr size_t kMaxReplyBytes = 1024 * 1024;
constexpr size_t kNonceBytes = 16;

std::string Base64(const std::string& bytes)
{
    return QByteArray(bytes.data(), static_cast<int>(bytes.size())).toBase64().toStdString();
}

void CurlGlobalInit()
{
    static std::once_flag once;
    std::call_once(once, []() { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer
{
    std::string body;
    bool tooLarge = false;
    const std::atomic<bool>* cancel = nullptr;
    const std::atomic<bool>* cancelToo = nullptr;
    bool digestAsked = false; // a WWW-Authenticate: Digest challenge came
};

size_t OnHeader(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    static const char kName[] = "www-authenticate:";
    const size_t nameLength = sizeof kName - 1;
    // Each response of the exchange (a challenge, then the answer) starts anew.
    if (bytes >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
        t->body.clear();
        t->digestAsked = false;
    }
    if (bytes > nameLength && QByteArray(data, static_cast<int>(nameLength)).toLower() == kName) {
        const QByteArray value = QByteArray(data + nameLength, static_cast<int>(bytes - nameLength)).trimmed();
        if (value.size() >= 7 && value.left(7).toLower() == "digest ")
            t->digestAsked = true;
    }
    return bytes;
}

size_t OnData(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (t->body.size() + bytes > kMaxReplyBytes) {
        t->tooLarge = true;
        return 0; // ends the transfer
    }
    t->body.append(data, bytes);
    return bytes;
}

// A fault code names an authentication failure (ONVIF's NotAuthorized or the
// token profile's FailedAuthentication), at any level of the subcode chain.
bool IsAuthenticationCode(const XmlElement& value)
{
    std::string nsUri, local;
    const bool resolved = value.ResolveQName(value.Trimmed(), nsUri, local);
    if (local != "NotAuthorized" && local != "FailedAuthentication")
        return false;
    // A prefix some device forgot to declare still names the code.
    return !resolved || nsUri == ns::kError || nsUri == ns::kWsse;
}

bool FaultSaysUnauthorized(const XmlElement& fault)
{
    // SOAP 1.2: Code/Value and nested Subcode/Value.
    for (const XmlElement* code = fault.Child(ns::kSoap12, "Code"); code; code = code->Child(ns::kSoap12, "Subcode")) {
        if (const XmlElement* value = code->Child(ns::kSoap12, "Value"); value && IsAuthenticationCode(*value))
            return true;
    }
    // SOAP 1.1: an unqualified faultcode.
    if (const XmlElement* code = fault.Child("", "faultcode"))
        return IsAuthenticationCode(*code);
    return false;
}
} // namespace

const XmlElement* SoapBody(const XmlElement& root)
{
    for (const char* const* env = kSoapEnvelopeNs; *env; ++env) {
        if (root.Is(*env, "Envelope"))
            return root.Child(*env, "Body");
    }
    return nullptr;
}

std::string PasswordDigest(const std::string& nonce, const std::string& created, const std::string& password)
{
    const std::string input = nonce + created + password;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest, &length, EVP_sha1(), nullptr) != 1)
        return std::string();
    return Base64(std::string(reinterpret_cast<const char*>(digest), length));
}

std::string UtcTimestamp(int64_t offsetSeconds)
{
    const std::time_t now = std::time(nullptr) + static_cast<std::time_t>(offsetSeconds);
    std::tm utc {};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string SoapEnvelope(const std::string& bodyXml, const Credentials* credentials, int64_t clockOffsetSeconds)
{
    std::string header;
    if (credentials && !credentials->user.empty()) {
        unsigned char nonce[kNonceBytes];
        if (RAND_bytes(nonce, sizeof nonce) == 1) {
            const std::string nonceBytes(reinterpret_cast<const char*>(nonce), sizeof nonce);
            const std::string created = UtcTimestamp(clockOffsetSeconds);
            header = "<s:Header><wsse:Security s:mustUnderstand=\"1\" xmlns:wsse=\"" + std::string(ns::kWsse)
                + "\" xmlns:wsu=\"" + ns::kWsu + "\"><wsse:UsernameToken><wsse:Username>" + XmlEscape(credentials->user)
                + "</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
                  "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">"
                + PasswordDigest(nonceBytes, created, credentials->password)
                + "</wsse:Password><wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
                  "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">"
                + Base64(nonceBytes) + "</wsse:Nonce><wsu:Created>" + created
                + "</wsu:Created></wsse:UsernameToken></wsse:Security></s:Header>";
        }
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope xmlns:s=\"" + std::string(ns::kSoap12)
        + "\" xmlns:tds=\"" + ns::kDevice + "\" xmlns:tt=\"" + ns::kSchema + "\">" + header + "<s:Body>" + bodyXml
        + "</s:Body></s:Envelope>";
}

SoapReply ClassifyReply(long httpStatus, const std::string& body)
{
    SoapReply reply;
    reply.httpStatus = httpStatus;
    std::string error;
    XmlLimits limits;
    limits.maxBytes = kMaxReplyBytes;
    reply.document = body.empty() ? nullptr : ParseXml(body.data(), body.size(), limits, &error);
    const XmlElement* soapBody = reply.document ? SoapBody(*reply.document) : nullptr;
    const XmlElement* first = soapBody ? soapBody->FirstChild() : nullptr;
    const bool fault = first && (first->Is(ns::kSoap12, "Fault") || first->Is(ns::kSoap11, "Fault"));
    if (httpStatus == 401 || (fault && FaultSaysUnauthorized(*first))) {
        reply.status = SoapStatus::Unauthorized;
        reply.detail = "not authorised";
    } else if (fault) {
        reply.status = SoapStatus::Fault;
        reply.detail = "fault";
    } else if (httpStatus != 200) {
        reply.status = SoapStatus::Transport;
        reply.detail = "HTTP " + std::to_string(httpStatus);
    } else if (!first) {
        reply.status = SoapStatus::Malformed;
        reply.detail = error.empty() ? std::string("no SOAP body") : error;
    } else {
        reply.status = SoapStatus::Ok;
        reply.response = first;
    }
    return reply;
}

SoapSession::SoapSession()
{
    CurlGlobalInit();
    m_easy = curl_easy_init();
    m_multi = curl_multi_init();
}

SoapSession::~SoapSession()
{
    // The easy handle is never left in the multi handle between calls.
    if (m_easy)
        curl_easy_cleanup(static_cast<CURL*>(m_easy));
    if (m_multi)
        curl_multi_cleanup(static_cast<CURLM*>(m_multi));
}

SoapReply SoapSession::Call(const SoapTarget& target, const char* action, const std::string& bodyXml,
    const Credentials* token, const Credentials* http, int64_t clockOffsetSeconds)
{
    const std::string envelope = SoapEnvelope(bodyXml, token, clockOffsetSeconds);
    bool digestAsked = false;
    SoapReply reply = Perform(target, action, envelope, http, digestAsked);
    // A challenge met for the first time: the same request again, answering it.
    if (!m_digest && digestAsked && reply.httpStatus == 401 && http && !http->user.empty()) {
        m_digest = true;
        reply = Perform(target, action, envelope, http, digestAsked);
    }
    return reply;
}

SoapReply SoapSession::Perform(const SoapTarget& target, const char* action, const std::string& envelope,
    const Credentials* http, bool& digestAsked)
{
    SoapReply failed;
    CURL* curl = static_cast<CURL*>(m_easy);
    CURLM* multi = static_cast<CURLM*>(m_multi);
    if (!curl || !multi)
        return failed;
    const std::string url = std::string(target.https ? "https://" : "http://") + target.ip + ":"
        + std::to_string(target.port) + target.path;
    const std::string contentType = std::string("Content-Type: application/soap+xml; charset=utf-8; action=\"")
        + ns::kDevice + "/" + action + "\"";
    curl_slist* headers = curl_slist_append(nullptr, contentType.c_str());
    headers = curl_slist_append(headers, "Expect:");
    Transfer transfer;
    transfer.cancel = target.cancel;
    transfer.cancelToo = target.cancelToo;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, envelope.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(envelope.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(target.connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(target.timeoutMs));
    // Devices are reached directly: no proxy from the environment, no redirects.
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // Cameras serve self-signed certificates; the password travels only as a digest.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    // HTTP Digest only, answered when the device challenges: Basic would send the
    // password itself.
    if (m_digest && http && !http->user.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
        curl_easy_setopt(curl, CURLOPT_USERNAME, http->user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, http->password.c_str());
    } else {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_NONE));
        curl_easy_setopt(curl, CURLOPT_USERNAME, static_cast<const char*>(nullptr));
        curl_easy_setopt(curl, CURLOPT_PASSWORD, static_cast<const char*>(nullptr));
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    // Driven through the multi handle so that a cancel is seen within 100 ms, even
    // while the device sends nothing.
    CURLcode code = CURLE_FAILED_INIT;
    bool cancelled = false;
    if (curl_multi_add_handle(multi, curl) == CURLM_OK) {
        int running = 1;
        while (running) {
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                break;
            if (!running)
                break;
            if ((transfer.cancel && transfer.cancel->load()) || (transfer.cancelToo && transfer.cancelToo->load())) {
                cancelled = true;
                break;
            }
            curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE)
                code = message->data.result;
        }
        curl_multi_remove_handle(multi, curl);
    }
    long httpStatus = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &httpStatus);
    // Nothing of this call's buffers may be used by the next one.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr));
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
    curl_slist_free_all(headers);
    digestAsked = transfer.digestAsked;

    if (cancelled) {
        failed.status = SoapStatus::Cancelled;
        failed.detail = "cancelled";
        return failed;
    }
    if (code == CURLE_OK)
        return ClassifyReply(httpStatus, transfer.body);
    if (transfer.tooLarge) {
        failed.status = SoapStatus::Malformed;
        failed.detail = "reply too large";
    } else {
        failed.status = SoapStatus::Transport;
        failed.couldNotConnect = code == CURLE_COULDNT_CONNECT;
        failed.detail = curl_easy_strerror(code);
    }
    return failed;
}
} // namespace zvsdk::onvif
