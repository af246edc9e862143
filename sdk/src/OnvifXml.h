#pragma once

// A small element tree read from untrusted XML: namespaces resolved, no DTD
// (so no entity of ours is ever expanded), bounded size, depth and node count.
// Elements are found by namespace and local name, never by prefix.

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zvsdk::onvif
{
struct XmlLimits
{
    size_t maxBytes = 1024 * 1024;
    int maxDepth = 48;
    size_t maxElements = 20000;
    // Past maxElements: stop reading and keep the tree read so far (closed marks what ended).
    bool keepReadAtElementLimit = false;
};

class XmlElement
{
public:
    std::string ns;
    std::string name; // local name
    std::string text; // the element's own character data, concatenated
    std::vector<std::pair<std::string, std::string>> attributes; // (local name, value), unqualified or any namespace
    std::vector<std::pair<std::string, std::string>> declarations; // (prefix, namespace) declared here
    std::vector<std::unique_ptr<XmlElement>> children;
    const XmlElement* parent = nullptr;
    bool closed = false; // its end tag was read

    bool Is(const char* nsUri, const char* local) const { return name == local && ns == nsUri; }
    // First child with that local name in one of the namespaces (a null-terminated list).
    const XmlElement* Child(const char* const* nsUris, const char* local) const;
    const XmlElement* Child(const char* nsUri, const char* local) const;
    std::vector<const XmlElement*> Children(const char* nsUri, const char* local) const;
    const XmlElement* FirstChild() const { return children.empty() ? nullptr : children.front().get(); }
    // Text with surrounding white space removed.
    std::string Trimmed() const;
    std::string Attribute(const char* local) const;
    // Namespace of a prefix as declared here or above ("" for none: the default namespace).
    bool LookupPrefix(const std::string& prefix, std::string& nsUri) const;
    // Resolves a QName value ("p:Local" or "Local"); false when the prefix is not declared.
    bool ResolveQName(const std::string& qname, std::string& nsUri, std::string& local) const;
};

// Parses a whole document. Null (with a reason) when it is malformed, carries a
// DTD or an undeclared entity, or exceeds the limits.
std::unique_ptr<XmlElement> ParseXml(const char* data, size_t size, const XmlLimits& limits, std::string* error);

// Sets up Qt's text codecs for the readers, once, before any worker thread reads:
// Qt guards its codec registry with a lock that ThreadSanitizer cannot see.
void PrepareXmlReaders();

// Escapes text for element content and attribute values.
std::string XmlEscape(const std::string& text);
// Splits a white-space separated list (xs:list values: Types, Scopes, XAddrs).
std::vector<std::string> SplitList(const std::string& text);
} // namespace zvsdk::onvif
