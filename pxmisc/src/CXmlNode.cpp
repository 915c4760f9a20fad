#include "pxmisc/CXmlNode.h"

#include "XmlDocument.h"
#include "pxmisc/CXmlNodes.h"

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <type_traits>

namespace Domvine {

namespace {

std::unique_ptr<CXmlNode> NullNode() {
    return std::make_unique<CXmlNode>();
}

// The parsing of the C runtime in the "C" locale: QCoreApplication adopts the user's locale,
// whose decimal separator must not change what a document means.
struct LocaleFree {
    void operator()(locale_t locale) const noexcept { freelocale(locale); }
};
using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleFree>;

locale_t CLocale() {
    static const LocalePtr locale(newlocale(LC_ALL_MASK, "C", nullptr));
    return locale.get();
}

std::string FormatFloating(double value, std::chars_format format) {
    char text[400]; // "%f" of DBL_MAX needs 316 characters
    const auto result = std::to_chars(text, text + sizeof text, value, format, 6);
    return std::string(text, result.ptr);
}

std::string Format(bool value) {
    return value ? "1" : "0";
}
std::string Format(int value) {
    return std::to_string(value);
}
std::string Format(long value) {
    return std::to_string(value);
}
std::string Format(long long value) {
    return std::to_string(value);
}
std::string Format(float value) {
    return FormatFloating(static_cast<double>(value), std::chars_format::fixed);
}
std::string Format(double value) {
    return FormatFloating(value, std::chars_format::scientific);
}
std::string Format(uint32_t value) {
    return std::to_string(value);
}

// atoi and friends, without their undefined behaviour on overflow: the result saturates.
long long ParseLongLong(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

template <typename T> T ParseSigned(const std::string& text) {
    const long long value = ParseLongLong(text);
    if (value < static_cast<long long>(std::numeric_limits<T>::min())) {
        return std::numeric_limits<T>::min();
    }
    if (value > static_cast<long long>(std::numeric_limits<T>::max())) {
        return std::numeric_limits<T>::max();
    }
    return static_cast<T>(value);
}

// strtoul with a 32-bit unsigned long, as the format was designed: a negative number wraps
// modulo 2^32 and anything out of range gives the maximum.
uint32_t ParseUInt32(const std::string& text) {
    const char* begin = text.c_str();
    while (*begin == ' ' || (*begin >= '\t' && *begin <= '\r')) {
        ++begin;
    }
    const bool negative = *begin == '-';
    const char* digits = negative || *begin == '+' ? begin + 1 : begin;
    if (*digits == '-' || *digits == '+') {
        return 0;
    }
    errno = 0;
    const unsigned long long magnitude = std::strtoull(digits, nullptr, 10);
    if (errno == ERANGE || magnitude > UINT32_MAX) {
        return UINT32_MAX;
    }
    const auto value = static_cast<uint32_t>(magnitude);
    return negative ? static_cast<uint32_t>(0u - value) : value;
}

double ParseDouble(const std::string& text) {
    return strtod_l(text.c_str(), nullptr, CLocale());
}

float ParseFloat(const std::string& text) {
    const double value = ParseDouble(text);
    // A double beyond float's range cannot be converted without undefined behaviour.
    if (value > static_cast<double>(FLT_MAX)) {
        return HUGE_VALF;
    }
    if (value < -static_cast<double>(FLT_MAX)) {
        return -HUGE_VALF;
    }
    return static_cast<float>(value);
}

template <typename T> T Parse(const std::string& text);
template <> int Parse<int>(const std::string& text) {
    return ParseSigned<int>(text);
}
template <> long Parse<long>(const std::string& text) {
    return ParseSigned<long>(text);
}
template <> long long Parse<long long>(const std::string& text) {
    return ParseLongLong(text);
}
template <> float Parse<float>(const std::string& text) {
    return ParseFloat(text);
}
template <> double Parse<double>(const std::string& text) {
    return ParseDouble(text);
}
template <> uint32_t Parse<uint32_t>(const std::string& text) {
    return ParseUInt32(text);
}

// "1" and "0"; anything else is not a boolean.
bool ParseBool(const std::string& text, bool& value) {
    if (text == "1" || text == "0") {
        value = text == "1";
        return true;
    }
    return false;
}

xmlAttr* FindAttribute(xmlNode* element, const std::string& qualifiedName) {
    for (xmlAttr* attribute = element->properties; attribute != nullptr;
         attribute = attribute->next) {
        std::string name;
        if (attribute->ns != nullptr && attribute->ns->prefix != nullptr) {
            name = ToString(attribute->ns->prefix) + ":";
        }
        name += ToString(attribute->name);
        if (name == qualifiedName) {
            return attribute;
        }
    }
    return nullptr;
}

// The DOM shows namespace declarations as attributes; libxml2 keeps them apart.
const xmlNs* FindNamespaceDeclaration(const xmlNode* element, const std::string& qualifiedName) {
    const bool isDefault = qualifiedName == "xmlns";
    if (!isDefault && qualifiedName.rfind("xmlns:", 0) != 0) {
        return nullptr;
    }
    const std::string prefix = isDefault ? std::string() : qualifiedName.substr(6);
    for (const xmlNs* ns = element->nsDef; ns != nullptr; ns = ns->next) {
        if (isDefault ? ns->prefix == nullptr : ToString(ns->prefix) == prefix) {
            return ns;
        }
    }
    return nullptr;
}

// An element or the document whose children may change.
bool CanTakeChildren(const xmlNode* node) {
    return node->type == XML_ELEMENT_NODE && !XmlIsInsideEntity(node);
}

// A node that may be moved into or out of an element.
bool IsMovable(const xmlNode* node) {
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
    case XML_ENTITY_REF_NODE:
        return !XmlIsInsideEntity(node);
    default:
        return false;
    }
}

std::string DumpNode(xmlNode* node) {
    XmlBufferPtr buffer(xmlBufferCreate());
    if (buffer == nullptr || xmlNodeDump(buffer.get(), node->doc, node, 0, 0) < 0) {
        return {};
    }
    std::string xml = ToString(xmlBufferContent(buffer.get()));
    // An attribute is dumped as it stands inside its element's tag, after a space.
    if (node->type == XML_ATTRIBUTE_NODE && !xml.empty() && xml.front() == ' ') {
        xml.erase(0, 1);
    }
    return xml;
}

} // namespace

CXmlNode::CXmlNode(std::unique_ptr<CXmlNode> node) {
    if (node != nullptr) {
        m_node = std::move(node->m_node);
    }
}

CXmlNode& CXmlNode::operator=(std::unique_ptr<CXmlNode> node) {
    m_node.reset();
    if (node != nullptr) {
        m_node = std::move(node->m_node);
    }
    return *this;
}

std::unique_ptr<CXmlNodes> CXmlNode::GetChildren() const {
    return SelectNodes("child::*");
}

bool CXmlNode::HasChildren() const {
    CXmlNodes children(GetChildren());
    return children.GetCount() > 0;
}

std::unique_ptr<CXmlNode> CXmlNode::GetChild(const std::string& name, bool create) {
    // A local name holds no quote, so a name that is not one matches nothing; checking it also
    // keeps it from changing the expression.
    if (IsNull() || !XmlIsValidName(name, /*colonAllowed=*/false)) {
        return NullNode();
    }
    auto child = SelectSingleNode("*[local-name(.) = '" + name + "']");
    if (child->IsNull() && create) {
        return NewChild(name);
    }
    return child;
}

std::unique_ptr<CXmlNode> CXmlNode::NewChild(const std::string& name) {
    if (IsNull() || !CanTakeChildren(m_node.get()) || !XmlIsValidName(name, true)) {
        return NullNode();
    }
    xmlNode* child = xmlNewDocNode(m_node->doc, nullptr, XmlText(name), nullptr);
    if (child == nullptr) {
        return NullNode();
    }
    xmlAddChild(m_node.get(), child);
    return std::unique_ptr<CXmlNode>(new CXmlNode(std::shared_ptr<_xmlNode>(m_node, child)));
}

bool CXmlNode::AttachChild(std::unique_ptr<CXmlNode> child) {
    return child != nullptr && AttachChild(*child);
}

bool CXmlNode::AttachChild(const CXmlNode& child) {
    if (IsNull() || child.IsNull() || !CanTakeChildren(m_node.get()) ||
        !IsMovable(child.m_node.get())) {
        return false;
    }
    xmlNode* parent = m_node.get();
    xmlNode* node = child.m_node.get();
    // A node from another document lives in that document's memory (its names are in that
    // document's dictionary), so it cannot move.
    if (node->doc != parent->doc) {
        return false;
    }
    for (const xmlNode* ancestor = parent; ancestor != nullptr; ancestor = ancestor->parent) {
        if (ancestor == node) {
            return false;
        }
    }
    XmlDocument* owner = XmlDocument::Of(parent);
    owner->Orphan(node);
    // Linked by hand: xmlAddChild would merge a text node into a text sibling and free it, and
    // `child` still points at it.
    node->parent = parent;
    node->prev = parent->last;
    node->next = nullptr;
    if (parent->last != nullptr) {
        parent->last->next = node;
    } else {
        parent->children = node;
    }
    parent->last = node;
    if (node->type == XML_ELEMENT_NODE) {
        // A namespace declared above the node's old place must now be declared in reach.
        xmlReconciliateNs(parent->doc, node);
    }
    return true;
}

std::unique_ptr<CXmlNode> CXmlNode::GetParent() const {
    if (IsNull() || m_node->type == XML_ATTRIBUTE_NODE || m_node->parent == nullptr) {
        return NullNode();
    }
    xmlNode* parent = m_node->parent;
    if (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE) {
        return NullNode();
    }
    return std::unique_ptr<CXmlNode>(new CXmlNode(std::shared_ptr<_xmlNode>(m_node, parent)));
}

std::unique_ptr<CXmlNode> CXmlNode::Detach() {
    if (!IsNull() && m_node->parent != nullptr && IsMovable(m_node.get())) {
        XmlDocument::Of(m_node.get())->Orphan(m_node.get());
    }
    return std::make_unique<CXmlNode>(*this);
}

void CXmlNode::RemoveChildren() {
    if (IsNull() || XmlIsInsideEntity(m_node.get()) ||
        (m_node->type != XML_ELEMENT_NODE && m_node->type != XML_DOCUMENT_NODE)) {
        return;
    }
    XmlDocument* owner = XmlDocument::Of(m_node.get());
    while (m_node->children != nullptr) {
        owner->Orphan(m_node->children);
    }
}

std::string CXmlNode::GetName() const {
    if (IsNull()) {
        return {};
    }
    switch (m_node->type) {
    case XML_TEXT_NODE:
        return "#text";
    case XML_CDATA_SECTION_NODE:
        return "#cdata-section";
    case XML_COMMENT_NODE:
        return "#comment";
    case XML_DOCUMENT_NODE:
        return "#document";
    case XML_DOCUMENT_FRAG_NODE:
        return "#document-fragment";
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
        if (m_node->ns != nullptr && m_node->ns->prefix != nullptr) {
            return ToString(m_node->ns->prefix) + ":" + ToString(m_node->name);
        }
        return ToString(m_node->name);
    default:
        return ToString(m_node->name);
    }
}

std::string CXmlNode::GetOuterXml() const {
    return IsNull() ? std::string() : DumpNode(m_node.get());
}

std::string CXmlNode::GetInnerXml() const {
    std::string xml;
    if (IsNull() || m_node->type == XML_ENTITY_REF_NODE) {
        return xml;
    }
    for (xmlNode* child = m_node->children; child != nullptr; child = child->next) {
        xml += DumpNode(child);
    }
    return xml;
}

std::unique_ptr<CXmlNode> CXmlNode::SelectSingleNode(const std::string& xpath) const {
    if (IsNull()) {
        return NullNode();
    }
    bool ok = false;
    const std::vector<xmlNode*> nodes = XmlSelect(m_node.get(), xpath, ok);
    if (nodes.empty()) {
        return NullNode();
    }
    return std::unique_ptr<CXmlNode>(new CXmlNode(std::shared_ptr<_xmlNode>(m_node, nodes[0])));
}

std::unique_ptr<CXmlNodes> CXmlNode::SelectNodes(const std::string& xpath) const {
    if (IsNull()) {
        return std::make_unique<CXmlNodes>();
    }
    bool ok = false;
    std::vector<xmlNode*> nodes = XmlSelect(m_node.get(), xpath, ok);
    if (!ok) {
        return std::make_unique<CXmlNodes>();
    }
    auto list = std::make_shared<XmlNodeList>();
    list->owner = std::shared_ptr<XmlDocument>(m_node, XmlDocument::Of(m_node.get()));
    list->nodes = std::move(nodes);
    return std::unique_ptr<CXmlNodes>(new CXmlNodes(std::move(list)));
}

bool CXmlNode::ReadAttribute(const std::string& name, std::string& value) const {
    if (IsNull() || m_node->type != XML_ELEMENT_NODE) {
        return false;
    }
    if (xmlAttr* attribute = FindAttribute(m_node.get(), name)) {
        value = TakeString(xmlNodeGetContent(reinterpret_cast<xmlNode*>(attribute)));
    } else if (const xmlNs* ns = FindNamespaceDeclaration(m_node.get(), name)) {
        value = ToString(ns->href);
    } else {
        return false;
    }
    return !value.empty();
}

std::string CXmlNode::GetAttribute(const std::string& name, const char* defaultValue) const {
    std::string value;
    if (ReadAttribute(name, value)) {
        return value;
    }
    return defaultValue != nullptr ? std::string(defaultValue) : std::string();
}

bool CXmlNode::GetAttribute(const std::string& name, bool defaultValue) const {
    std::string text;
    bool value = defaultValue;
    if (ReadAttribute(name, text) && ParseBool(text, value)) {
        return value;
    }
    return defaultValue;
}

#define PXMISC_TYPED_GET_ATTRIBUTE(Type)                                                           \
    Type CXmlNode::GetAttribute(const std::string& name, Type defaultValue) const {                \
        std::string text;                                                                          \
        return Parse<Type>(ReadAttribute(name, text) ? text : Format(defaultValue));               \
    }
PXMISC_TYPED_GET_ATTRIBUTE(int)
PXMISC_TYPED_GET_ATTRIBUTE(long)
PXMISC_TYPED_GET_ATTRIBUTE(long long)
PXMISC_TYPED_GET_ATTRIBUTE(float)
PXMISC_TYPED_GET_ATTRIBUTE(double)
PXMISC_TYPED_GET_ATTRIBUTE(uint32_t)
#undef PXMISC_TYPED_GET_ATTRIBUTE

std::string CXmlNode::ReadValue(const std::string* defaultText) {
    if (IsNull()) {
        return defaultText != nullptr ? *defaultText : std::string();
    }
    std::string text = XmlNodeText(m_node.get());
    if (!text.empty() || defaultText == nullptr) {
        return text;
    }
    xmlNode* node = m_node.get();
    if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
        // The element's text is empty but it may hold elements or comments: the default joins
        // them as text instead of replacing them, so reading never loses structure.
        if (CanTakeChildren(node) && xmlCheckUTF8(XmlText(*defaultText)) != 0) {
            xmlAddChild(node, xmlNewDocText(node->doc, XmlText(*defaultText)));
        }
    } else {
        XmlSetNodeText(node, *defaultText);
    }
    return *defaultText;
}

std::string CXmlNode::GetValue(const char* defaultValue) {
    if (defaultValue == nullptr) {
        return ReadValue(nullptr);
    }
    const std::string defaultText(defaultValue);
    return ReadValue(&defaultText);
}

bool CXmlNode::GetValue(bool defaultValue) {
    const std::string defaultText = Format(defaultValue);
    const std::string text = ReadValue(&defaultText);
    bool value = defaultValue;
    if (!ParseBool(text, value)) {
        SetValue(defaultText);
        return defaultValue;
    }
    return value;
}

#define PXMISC_TYPED_GET_VALUE(Type)                                                               \
    Type CXmlNode::GetValue(Type defaultValue) {                                                   \
        const std::string defaultText = Format(defaultValue);                                      \
        return Parse<Type>(ReadValue(&defaultText));                                               \
    }
PXMISC_TYPED_GET_VALUE(int)
PXMISC_TYPED_GET_VALUE(long)
PXMISC_TYPED_GET_VALUE(long long)
PXMISC_TYPED_GET_VALUE(float)
PXMISC_TYPED_GET_VALUE(double)
PXMISC_TYPED_GET_VALUE(uint32_t)
#undef PXMISC_TYPED_GET_VALUE

bool CXmlNode::SetValue(const char* value) {
    return value != nullptr && SetValue(std::string(value));
}

bool CXmlNode::SetValue(const std::string& value) {
    return !IsNull() && XmlSetNodeText(m_node.get(), value);
}

#define PXMISC_TYPED_SET_VALUE(Type)                                                               \
    bool CXmlNode::SetValue(Type value) {                                                          \
        return SetValue(Format(value));                                                            \
    }
PXMISC_TYPED_SET_VALUE(bool)
PXMISC_TYPED_SET_VALUE(int)
PXMISC_TYPED_SET_VALUE(long)
PXMISC_TYPED_SET_VALUE(long long)
PXMISC_TYPED_SET_VALUE(float)
PXMISC_TYPED_SET_VALUE(double)
PXMISC_TYPED_SET_VALUE(uint32_t)
#undef PXMISC_TYPED_SET_VALUE

bool CXmlNode::SetAttribute(const std::string& name, const char* value, const char* prefix,
                            const char* namespaceUri) {
    return value != nullptr && SetAttribute(name, std::string(value), prefix, namespaceUri);
}

bool CXmlNode::SetAttribute(const std::string& name, const std::string& value, const char* prefix,
                            const char* namespaceUri) {
    const std::string prefixText = prefix != nullptr ? prefix : "";
    const std::string uri = namespaceUri != nullptr ? namespaceUri : "";
    if (IsNull() || !CanTakeChildren(m_node.get()) || !XmlIsValidName(name, false) ||
        xmlCheckUTF8(XmlText(value)) == 0 || xmlCheckUTF8(XmlText(uri)) == 0) {
        return false;
    }
    xmlNode* element = m_node.get();
    xmlNs* ns = nullptr;
    if (!prefixText.empty()) {
        // A prefix names a namespace; without one the attribute could not be written back.
        if (uri.empty() || !XmlIsValidName(prefixText, false) || prefixText == "xmlns") {
            return false;
        }
        ns = xmlSearchNs(element->doc, element, XmlText(prefixText));
        if (ns == nullptr) {
            ns = xmlNewNs(element, XmlText(uri), XmlText(prefixText));
        } else if (ToString(ns->href) != uri) {
            // Redeclaring the prefix here would move whatever already uses it.
            return false;
        }
    } else if (!uri.empty()) {
        // An attribute is in a namespace only through a prefix; use one already declared.
        ns = xmlSearchNsByHref(element->doc, element, XmlText(uri));
        if (ns == nullptr || ns->prefix == nullptr) {
            return false;
        }
    }
    if (ns == nullptr && !uri.empty()) {
        return false;
    }
    return xmlSetNsProp(element, ns, XmlText(name), XmlText(value)) != nullptr;
}

#define PXMISC_TYPED_SET_ATTRIBUTE(Type)                                                           \
    bool CXmlNode::SetAttribute(const std::string& name, Type value, const char* prefix,           \
                                const char* namespaceUri) {                                        \
        return SetAttribute(name, Format(value), prefix, namespaceUri);                            \
    }
PXMISC_TYPED_SET_ATTRIBUTE(bool)
PXMISC_TYPED_SET_ATTRIBUTE(int)
PXMISC_TYPED_SET_ATTRIBUTE(long)
PXMISC_TYPED_SET_ATTRIBUTE(long long)
PXMISC_TYPED_SET_ATTRIBUTE(float)
PXMISC_TYPED_SET_ATTRIBUTE(double)
PXMISC_TYPED_SET_ATTRIBUTE(uint32_t)
#undef PXMISC_TYPED_SET_ATTRIBUTE

bool CXmlNode::RemoveAttribute(const std::string& name) {
    if (IsNull() || !CanTakeChildren(m_node.get())) {
        return false;
    }
    xmlAttr* attribute = FindAttribute(m_node.get(), name);
    if (attribute == nullptr) {
        return false;
    }
    // Kept until the document goes: a CXmlNode may hold the attribute.
    XmlDocument::Of(m_node.get())->Orphan(reinterpret_cast<xmlNode*>(attribute));
    return true;
}

} // namespace Domvine
