#pragma once

#include "pxmisc/PXMiscExport.h"

#include <cstdint>
#include <memory>
#include <string>

// libxml2's node type, named here so that users of the library need no libxml2 headers.
struct _xmlNode;

namespace Domvine {

class CXml;
class CXmlNodes;

// One node of a document held by CXml. A null node is an ordinary value: every operation
// accepts it and gives its failure result. Copies share the same node; a node keeps its
// document alive, even after the CXml that opened it is closed.
//
// Text is UTF-8. Numbers are written and read in the "C" locale whatever the process locale.
class PXMISC_EXPORT CXmlNode {
public:
    CXmlNode() = default;
    // Takes the node out of a result of this library; the emptied result is freed.
    CXmlNode(std::unique_ptr<CXmlNode> node);
    CXmlNode(const CXmlNode& other) = default;
    CXmlNode(CXmlNode&& other) noexcept = default;
    CXmlNode& operator=(const CXmlNode& other) = default;
    CXmlNode& operator=(CXmlNode&& other) noexcept = default;
    CXmlNode& operator=(std::unique_ptr<CXmlNode> node);
    ~CXmlNode() = default;

    bool IsNull() const { return m_node == nullptr; }
    void Release() { m_node.reset(); }

    // The element children, in document order ("child::*"); a null list for a null node.
    std::unique_ptr<CXmlNodes> GetChildren() const;
    bool HasChildren() const;
    // The first child element whose local name is `name`. When there is none and `create` is
    // true, an element of that name is appended and returned.
    std::unique_ptr<CXmlNode> GetChild(const std::string& name, bool create = true);
    // Appends a new element named `name`; a null node when the name is not a valid XML name.
    std::unique_ptr<CXmlNode> NewChild(const std::string& name);
    // Moves `child` to the end of this element's children. The child must belong to the same
    // document and must not be this node or one of its ancestors.
    bool AttachChild(std::unique_ptr<CXmlNode> child);
    bool AttachChild(const CXmlNode& child);
    // The parent; null for the document, an attribute or a node outside the tree.
    std::unique_ptr<CXmlNode> GetParent() const;
    // Takes the node out of its parent and returns it.
    std::unique_ptr<CXmlNode> Detach();
    void RemoveChildren();

    // The DOM's node name: the qualified name, or "#text", "#comment", "#cdata-section",
    // "#document", "#document-fragment".
    std::string GetName() const;
    std::string GetOuterXml() const;
    std::string GetInnerXml() const;

    std::unique_ptr<CXmlNode> SelectSingleNode(const std::string& xpath) const;
    std::unique_ptr<CXmlNodes> SelectNodes(const std::string& xpath) const;

    // The value of the attribute with that qualified name. When the node is null, the
    // attribute is missing or its value is empty: `defaultValue`, or "" when that is null.
    std::string GetAttribute(const std::string& name, const char* defaultValue = nullptr) const;
    // Typed readers parse the value; `defaultValue` replaces only a missing or empty value.
    bool GetAttribute(const std::string& name, bool defaultValue) const;
    int GetAttribute(const std::string& name, int defaultValue) const;
    long GetAttribute(const std::string& name, long defaultValue) const;
    long long GetAttribute(const std::string& name, long long defaultValue) const;
    float GetAttribute(const std::string& name, float defaultValue) const;
    double GetAttribute(const std::string& name, double defaultValue) const;
    uint32_t GetAttribute(const std::string& name, uint32_t defaultValue) const;

    // The node's text. When it is empty and `defaultValue` is not null, the default is written
    // into the node (in memory only) and returned.
    std::string GetValue(const char* defaultValue = nullptr);
    // Typed readers: an empty text takes the formatted default as above; any other text is
    // parsed as it stands (a text of letters gives 0).
    bool GetValue(bool defaultValue);
    int GetValue(int defaultValue);
    long GetValue(long defaultValue);
    long long GetValue(long long defaultValue);
    float GetValue(float defaultValue);
    double GetValue(double defaultValue);
    uint32_t GetValue(uint32_t defaultValue);

    // Replaces the node's content with the text.
    bool SetValue(const char* value);
    bool SetValue(const std::string& value);
    bool SetValue(bool value);
    bool SetValue(int value);
    bool SetValue(long value);
    bool SetValue(long long value);
    bool SetValue(float value);
    bool SetValue(double value);
    bool SetValue(uint32_t value);

    // Sets the attribute `prefix:name` (or `name` when the prefix is empty) in the namespace
    // `namespaceUri`, replacing one of the same name. A prefix needs a namespace.
    bool SetAttribute(const std::string& name, const char* value, const char* prefix = "",
                      const char* namespaceUri = "");
    bool SetAttribute(const std::string& name, const std::string& value, const char* prefix = "",
                      const char* namespaceUri = "");
    bool SetAttribute(const std::string& name, bool value, const char* prefix = "",
                      const char* namespaceUri = "");
    bool SetAttribute(const std::string& name, int value, const char* prefix = "",
                      const char* namespaceUri = "");
    bool SetAttribute(const std::string& name, long value, const char* prefix = "",
                      const char* namespaceUri = "");
    bool SetAttribute(const std::string& name, long long value, const char* prefix = "",
                      const char* namespaceUri = "");
    bool SetAttribute(const std::string& name, float value, const char* prefix = "",
                      const char* namespaceUri = "");
    bool SetAttribute(const std::string& name, double value, const char* prefix = "",
                      const char* namespaceUri = "");
    bool SetAttribute(const std::string& name, uint32_t value, const char* prefix = "",
                      const char* namespaceUri = "");
    bool RemoveAttribute(const std::string& name);

private:
    friend class CXml;
    friend class CXmlNodes;

    // `node` shares ownership of its document.
    explicit CXmlNode(std::shared_ptr<_xmlNode> node) : m_node(std::move(node)) {}

    // The raw text of the attribute, or nothing when it is missing or empty.
    bool ReadAttribute(const std::string& name, std::string& value) const;
    // The text; when it is empty and a default is given, the default is written back first.
    std::string ReadValue(const std::string* defaultText);

    std::shared_ptr<_xmlNode> m_node;
};

} // namespace Domvine
