#include "OnvifXml.h"

#include <QXmlStreamReader>

#include <cstring>
#include <mutex>

namespace zvsdk::onvif
{
namespace
{
constexpr size_t kMaxTextBytes = 256 * 1024;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool Fail(std::string* error, const char* reason)
{
    if (error)
        *error = reason;
    return false;
}
} // namespace

const XmlElement* XmlElement::Child(const char* const* nsUris, const char* local) const
{
    for (const auto& child : children) {
        if (child->name != local)
            continue;
        for (const char* const* ns = nsUris; *ns; ++ns) {
            if (child->ns == *ns)
                return child.get();
        }
    }
    return nullptr;
}

const XmlElement* XmlElement::Child(const char* nsUri, const char* local) const
{
    const char* list[] = { nsUri, nullptr };
    return Child(list, local);
}

std::vector<const XmlElement*> XmlElement::Children(const char* nsUri, const char* local) const
{
    std::vector<const XmlElement*> found;
    for (const auto& child : children) {
        if (child->Is(nsUri, local))
            found.push_back(child.get());
    }
    return found;
}

std::string XmlElement::Trimmed() const
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string XmlElement::Attribute(const char* local) const
{
    for (const auto& a : attributes) {
        if (a.first == local)
            return a.second;
    }
    return std::string();
}

bool XmlElement::LookupPrefix(const std::string& prefix, std::string& nsUri) const
{
    if (prefix == "xml") {
        nsUri = "http://www.w3.org/XML/1998/namespace";
        return true;
    }
    for (const XmlElement* e = this; e; e = e->parent) {
        for (const auto& d : e->declarations) {
            if (d.first == prefix) {
                nsUri = d.second;
                return true;
            }
        }
    }
    if (prefix.empty()) {
        nsUri.clear();
        return true;
    }
    return false;
}

bool XmlElement::ResolveQName(const std::string& qname, std::string& nsUri, std::string& local) const
{
    const size_t colon = qname.find(':');
    const std::string prefix = colon == std::string::npos ? std::string() : qname.substr(0, colon);
    local = colon == std::string::npos ? qname : qname.substr(colon + 1);
    return !local.empty() && LookupPrefix(prefix, nsUri);
}

std::unique_ptr<XmlElement> ParseXml(const char* data, size_t size, const XmlLimits& limits, std::string* error)
{
    if (!data || size == 0) {
        Fail(error, "empty document");
        return nullptr;
    }
    if (size > limits.maxBytes) {
        Fail(error, "document too large");
        return nullptr;
    }
    // Devices answer in UTF-8. Decoded here, the reader looks no codec up by the
    // name a document declares.
    if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
        data += 3;
        size -= 3;
    }
    QXmlStreamReader reader(QString::fromUtf8(data, static_cast<int>(size)));
    reader.setNamespaceProcessing(true);
    std::unique_ptr<XmlElement> root;
    std::vector<XmlElement*> open; // the elements not yet closed, innermost last
    size_t elements = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            // SOAP forbids a DTD; refusing it keeps every entity declaration out.
            Fail(error, "document type declaration");
            return nullptr;
        case QXmlStreamReader::EntityReference: Fail(error, "entity reference"); return nullptr;
        case QXmlStreamReader::StartElement: {
            if (static_cast<int>(open.size()) >= limits.maxDepth) {
                Fail(error, "nested too deeply");
                return nullptr;
            }
            if (++elements > limits.maxElements) {
                Fail(error, "too many elements");
                if (limits.keepReadAtElementLimit)
                    return root;
                return nullptr;
            }
            auto element = std::make_unique<XmlElement>();
            element->ns = reader.namespaceUri().toString().toStdString();
            element->name = reader.name().toString().toStdString();
            for (const QXmlStreamNamespaceDeclaration& d : reader.namespaceDeclarations())
                element->declarations.emplace_back(
                    d.prefix().toString().toStdString(), d.namespaceUri().toString().toStdString());
            for (const QXmlStreamAttribute& a : reader.attributes())
                element->attributes.emplace_back(a.name().toString().toStdString(), a.value().toString().toStdString());
            XmlElement* raw = element.get();
            if (!open.empty()) {
                element->parent = open.back();
                open.back()->children.push_back(std::move(element));
            } else if (!root) {
                root = std::move(element);
            }
            open.push_back(raw);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (!open.empty()) {
                open.back()->closed = true;
                open.pop_back();
            }
            break;
        case QXmlStreamReader::Characters:
            if (!open.empty()) {
                const std::string text = reader.text().toString().toStdString();
                if (open.back()->text.size() + text.size() > kMaxTextBytes) {
                    Fail(error, "element text too long");
                    return nullptr;
                }
                open.back()->text += text;
            }
            break;
        default: break;
        }
    }
    if (reader.hasError()) {
        if (error)
            *error = reader.errorString().toStdString();
        return nullptr;
    }
    if (!root)
        Fail(error, "no root element");
    return root;
}

void PrepareXmlReaders()
{
    static std::once_flag once;
    std::call_once(once, []() {
        static const char kDocument[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>";
        ParseXml(kDocument, sizeof kDocument - 1, XmlLimits(), nullptr);
    });
}

std::string XmlEscape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> items;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSpace(text[i]))
            ++i;
        size_t j = i;
        while (j < text.size() && !IsSpace(text[j]))
            ++j;
        if (j > i)
            items.push_back(text.substr(i, j - i));
        i = j;
    }
    return items;
}
} // namespace zvsdk::onvif
