#pragma once

// Internal to the library: the libxml2 side of Domvine's classes. Not exported.

#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace Domvine {

struct XmlDocFree {
    void operator()(xmlDoc* doc) const noexcept { xmlFreeDoc(doc); }
};
struct XmlCharFree {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};
struct XmlBufferFree {
    void operator()(xmlBuffer* buffer) const noexcept { xmlBufferFree(buffer); }
};
struct XmlXPathContextFree {
    void operator()(xmlXPathContext* context) const noexcept { xmlXPathFreeContext(context); }
};
struct XmlXPathObjectFree {
    void operator()(xmlXPathObject* object) const noexcept { xmlXPathFreeObject(object); }
};

using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;
using XmlCharPtr = std::unique_ptr<xmlChar, XmlCharFree>;
using XmlBufferPtr = std::unique_ptr<xmlBuffer, XmlBufferFree>;
using XmlXPathContextPtr = std::unique_ptr<xmlXPathContext, XmlXPathContextFree>;
using XmlXPathObjectPtr = std::unique_ptr<xmlXPathObject, XmlXPathObjectFree>;

inline const xmlChar* XmlText(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}
inline const xmlChar* XmlText(const std::string& text) {
    return XmlText(text.c_str());
}
inline std::string ToString(const xmlChar* text) {
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}
// Takes ownership of a string libxml2 allocated for us.
inline std::string TakeString(xmlChar* text) {
    XmlCharPtr owner(text);
    return ToString(owner.get());
}

inline xmlNode* AsNode(xmlDoc* doc) {
    return reinterpret_cast<xmlNode*>(doc);
}

// One parsed or created document and everything that must live as long as it. Nodes and node
// lists share ownership of it, as DOM objects keep their document alive.
//
// libxml2 nodes have no reference count, so a node taken out of the tree (removed, detached,
// replaced by new text) may still be held by a CXmlNode. Such nodes are never freed on the
// spot: they are kept as orphans and freed with the document.
class XmlDocument {
public:
    explicit XmlDocument(XmlDocPtr doc);
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    xmlDoc* Doc() const { return m_doc.get(); }

    // Unlinks `node` from wherever it is and keeps it until the document goes.
    void Orphan(xmlNode* node);
    // A node made here but not yet attached.
    void Adopt(xmlNode* node) { m_orphans.insert(node); }

    // The document's selection namespaces, the prefixes XPath expressions may use.
    void SetSelectionNamespaces(std::vector<std::pair<std::string, std::string>> namespaces) {
        m_selectionNamespaces = std::move(namespaces);
    }
    const std::vector<std::pair<std::string, std::string>>& SelectionNamespaces() const {
        return m_selectionNamespaces;
    }

    // The owner of the node's document. The node must belong to a document made by this class.
    static XmlDocument* Of(const xmlNode* node);

private:
    XmlDocPtr m_doc;
    std::unordered_set<xmlNode*> m_orphans;
    std::vector<std::pair<std::string, std::string>> m_selectionNamespaces;
};

// What a CXmlNodes holds: a snapshot of selected nodes and the document they live in.
struct XmlNodeList {
    std::shared_ptr<XmlDocument> owner;
    std::vector<xmlNode*> nodes;
};

// Evaluates `expression` with `context` as the context node; the nodes it selects, in document
// order. Namespace nodes are left out: libxml2 makes them for the result only. Any failure of
// the expression gives an empty result with `ok` false.
std::vector<xmlNode*> XmlSelect(xmlNode* context, const std::string& expression, bool& ok);

// The text of the node and all its descendants, as the DOM's text property gives it.
std::string XmlNodeText(const xmlNode* node);

// True when the node is part of an entity's replacement text, which the parser shares between
// every reference to the entity and which must therefore not be edited.
bool XmlIsInsideEntity(const xmlNode* node);

// Makes `text` the only content of `node` (an element or an attribute); the old children become
// orphans. For text-like nodes the content itself is replaced. False for other node types.
bool XmlSetNodeText(xmlNode* node, const std::string& text);

// True when `name` is a valid qualified name; with `colonAllowed` false, a name without a
// prefix.
bool XmlIsValidName(const std::string& name, bool colonAllowed);

} // namespace Domvine
