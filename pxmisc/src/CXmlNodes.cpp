#include "pxmisc/CXmlNodes.h"

#include "XmlDocument.h"

namespace Domvine {

CXmlNodes::CXmlNodes(std::unique_ptr<CXmlNodes> nodes) {
    if (nodes != nullptr) {
        m_list = std::move(nodes->m_list);
    }
}

CXmlNodes& CXmlNodes::operator=(std::unique_ptr<CXmlNodes> nodes) {
    m_list.reset();
    if (nodes != nullptr) {
        m_list = std::move(nodes->m_list);
    }
    return *this;
}

long CXmlNodes::GetCount() const {
    return IsNull() ? -1 : static_cast<long>(m_list->nodes.size());
}

std::unique_ptr<CXmlNode> CXmlNodes::GetItem(long index) const {
    if (index < 0 || index >= GetCount()) {
        return std::make_unique<CXmlNode>();
    }
    xmlNode* node = m_list->nodes[static_cast<std::size_t>(index)];
    return std::unique_ptr<CXmlNode>(new CXmlNode(std::shared_ptr<_xmlNode>(m_list->owner, node)));
}

std::unique_ptr<CXmlNode> CXmlNodes::GetItem(const std::string& name) const {
    for (long index = 0; index < GetCount(); ++index) {
        auto item = GetItem(index);
        if (item->GetName() == name) {
            return item;
        }
    }
    return std::make_unique<CXmlNode>();
}

} // namespace Domvine
