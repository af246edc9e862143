#pragma once

// SOAP 1.2 over HTTP(S) for the ONVIF device service: envelopes with a
// WS-UsernameToken (password digest), HTTP Digest when the device asks for it,
// one POST per call through libcurl with time-outs and a cancel flag, and the
// reply sorted into what callers act on.

#include "OnvifXml.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace zvsdk::onvif
{
namespace ns
{
inline constexpr const char* kSoap12 = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr const char* kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr const char* kDevice = "http://www.onvif.org/ver10/device/wsdl";
inline constexpr const char* kSchema = "http://www.onvif.org/ver10/schema";
inline constexpr const char* kError = "http://www.onvif.org/ver10/error";
inline constexpr const char* kNetwork = "http://www.onvif.org/ver10/network/wsdl";
inline constexpr const char* kWsse
    = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr const char* kWsu
    = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr const char* kDiscovery = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
inline constexpr const char* kDiscovery11 = "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01";
inline constexpr const char* kAddressing = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
inline constexpr const char* kAddressing10 = "http://www.w3.org/2005/08/addressing";
} // namespace ns

// Null-terminated lists of the namespaces accepted for one role.
extern const char* const kSoapEnvelopeNs[];
extern const char* const kDiscoveryNs[];
extern const char* const kAddressingNs[];

// The Body of a SOAP 1.2 or 1.1 envelope; null when root is no envelope.
const XmlElement* SoapBody(const XmlElement& root);

struct Credentials
{
    std::string user; // empty: no security header
    std::string password;
};

// Base64 of SHA-1 over nonce, created and password, as the token profile defines it.
std::string PasswordDigest(const std::string& nonce, const std::string& created, const std::string& password);
// "YYYY-MM-DDThh:mm:ssZ" of the local clock moved by offsetSeconds.
std::string UtcTimestamp(int64_t offsetSeconds);
// A SOAP 1.2 envelope with tds and tt declared; the security header when credentials name a user.
std::string SoapEnvelope(const std::string& bodyXml, const Credentials* credentials, int64_t clockOffsetSeconds);

enum class SoapStatus
{
    Ok, // HTTP 200 and an envelope whose body holds an element
    Unauthorized, // HTTP 401, or a fault that says the sender was not authorised
    Fault, // any other SOAP fault
    Transport, // no connection, time-out, an HTTP error without a fault
    Malformed, // a reply that is no envelope, or too large
    Cancelled,
};

struct SoapReply
{
    SoapStatus status = SoapStatus::Transport;
    bool couldNotConnect = false; // nothing listened at the address and port
    long httpStatus = 0;
    std::string detail;
    std::unique_ptr<XmlElement> document;
    const XmlElement* response = nullptr; // first element of the body when Ok
};

struct SoapTarget
{
    std::string ip;
    uint16_t port = 80;
    bool https = false;
    std::string path = "/onvif/device_service";
    int connectTimeoutMs = 2000;
    int timeoutMs = 2000; // the whole exchange
    const std::atomic<bool>* cancel = nullptr; // either flag ends the call
    const std::atomic<bool>* cancelToo = nullptr;
};

// The exchanges with one device. Its libcurl handles stay from call to call, so
// the connection and the HTTP Digest state (nonce, nonce count) carry over. Not
// thread-safe: the caller serialises the calls.
class SoapSession
{
public:
    SoapSession();
    ~SoapSession();
    SoapSession(const SoapSession&) = delete;
    SoapSession& operator=(const SoapSession&) = delete;

    // POSTs one device-service request: action is the operation's name
    // ("GetNetworkInterfaces"). token: the UsernameToken's credentials (none when
    // null); http: the credentials of an HTTP Digest challenge (MD5 or SHA-256).
    SoapReply Call(const SoapTarget& target, const char* action, const std::string& bodyXml, const Credentials* token,
        const Credentials* http, int64_t clockOffsetSeconds);

private:
    SoapReply Perform(const SoapTarget& target, const char* action, const std::string& envelope,
        const Credentials* http, bool& digestAsked);

    void* m_easy = nullptr; // CURL
    void* m_multi = nullptr; // CURLM
    // The device asked for HTTP Digest: answered from then on. Not set up front, as
    // libcurl then sends an empty body first to learn the scheme.
    bool m_digest = false;
};

// Sorts a reply (status and body) into a SoapReply; exposed for the reply tables.
SoapReply ClassifyReply(long httpStatus, const std::string& body);
} // namespace zvsdk::onvif
