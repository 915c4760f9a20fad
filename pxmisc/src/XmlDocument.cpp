#include "XmlDocument.h"

#include <algorithm>
#include <libxml/parser.h>
#include <libxml/xpathInternals.h>

namespace Domvine {

namespace {

// XPath errors are results, not messages on stderr.
void IgnoreXPathError(void* /*userData*/, xmlError* /*error*/) {}

bool IsTextLike(const xmlNode* node) {
    switch (node->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return true;
    default:
        return false;
    }
}

} // namespace

XmlDocument::XmlDocument(XmlDocPtr doc) : m_doc(std::move(doc)) {
    m_doc->_private = this;
}

XmlDocument::~XmlDocument() {
    // An orphan may since have been attached to the tree or under another orphan; those go with
    // their new parent. Pick the free-standing ones before freeing anything, since freeing one
    // frees orphans inside it.
    std::vector<xmlNode*> roots;
    for (xmlNode* node : m_orphans) {
        if (node->parent == nullptr) {
            roots.push_back(node);
        }
    }
    for (xmlNode* node : roots) {
        xmlFreeNode(node);
    }
}

void XmlDocument::Orphan(xmlNode* node) {
    xmlUnlinkNode(node);
    m_orphans.insert(node);
}

XmlDocument* XmlDocument::Of(const xmlNode* node) {
    return static_cast<XmlDocument*>(node->doc->_private);
}

std::vector<xmlNode*> XmlSelect(xmlNode* context, const std::string& expression, bool& ok) {
    ok = false;
    std::vector<xmlNode*> result;
    if (context == nullptr || context->doc == nullptr) {
        return result;
    }
    XmlXPathContextPtr xpath(xmlXPathNewContext(context->doc));
    if (xpath == nullptr) {
        return result;
    }
    xpath->error = IgnoreXPathError;
    xpath->node = context;
    for (const auto& [prefix, uri] : XmlDocument::Of(context)->SelectionNamespaces()) {
        if (xmlXPathRegisterNs(xpath.get(), XmlText(prefix), XmlText(uri)) != 0) {
            return result;
        }
    }
    XmlXPathObjectPtr object(xmlXPathEvalExpression(XmlText(expression), xpath.get()));
    if (object == nullptr || object->type != XPATH_NODESET) {
        return result;
    }
    ok = true;
    xmlNodeSet* set = object->nodesetval;
    if (set == nullptr) {
        return result;
    }
    xmlXPathNodeSetSort(set);
    result.reserve(static_cast<std::size_t>(std::max(set->nodeNr, 0)));
    for (int i = 0; i < set->nodeNr; ++i) {
        xmlNode* node = set->nodeTab[i];
        if (node != nullptr && node->type != XML_NAMESPACE_DECL) {
            result.push_back(node);
        }
    }
    return result;
}

std::string XmlNodeText(const xmlNode* node) {
    if (node == nullptr) {
        return {};
    }
    return TakeString(xmlNodeGetContent(node));
}

bool XmlIsInsideEntity(const xmlNode* node) {
    for (const xmlNode* parent = node->parent; parent != nullptr; parent = parent->parent) {
        if (parent->type == XML_ENTITY_DECL || parent->type == XML_ENTITY_REF_NODE) {
            return true;
        }
    }
    return false;
}

bool XmlSetNodeText(xmlNode* node, const std::string& text) {
    if (xmlCheckUTF8(XmlText(text)) == 0 || XmlIsInsideEntity(node)) {
        return false;
    }
    if (IsTextLike(node)) {
        xmlNodeSetContent(node, XmlText(text));
        return true;
    }
    if (node->type != XML_ELEMENT_NODE && node->type != XML_ATTRIBUTE_NODE) {
        return false;
    }
    // xmlNodeSetContent would free the old children (a CXmlNode may hold one) and would read
    // entity references out of the text; the DOM takes the text literally.
    xmlNode* textNode = nullptr;
    if (!text.empty()) {
        textNode = xmlNewDocText(node->doc, XmlText(text));
        if (textNode == nullptr) {
            return false;
        }
    }
    XmlDocument* owner = XmlDocument::Of(node);
    while (node->children != nullptr) {
        owner->Orphan(node->children);
    }
    if (textNode != nullptr) {
        // No sibling is left to merge with, so the text node is linked as it is.
        xmlAddChild(node, textNode);
    }
    return true;
}

bool XmlIsValidName(const std::string& name, bool colonAllowed) {
    if (name.empty() || xmlCheckUTF8(XmlText(name)) == 0) {
        return false;
    }
    return colonAllowed ? xmlValidateQName(XmlText(name), 0) == 0
                        : xmlValidateNCName(XmlText(name), 0) == 0;
}

} // namespace Domvine
