#pragma once

#include "pxmisc/CXmlNode.h"
#include "pxmisc/PXMiscExport.h"

#include <memory>
#include <string>

namespace Domvine {

struct XmlNodeList;

// A list of nodes from one document, as a selection gave it. A null list is an ordinary value:
// its count is -1 and every item is a null node. Copies share the same list.
class PXMISC_EXPORT CXmlNodes {
public:
    CXmlNodes() = default;
    // Takes the list out of a result of this library; the emptied result is freed.
    CXmlNodes(std::unique_ptr<CXmlNodes> nodes);
    CXmlNodes(const CXmlNodes& other) = default;
    CXmlNodes(CXmlNodes&& other) noexcept = default;
    CXmlNodes& operator=(const CXmlNodes& other) = default;
    CXmlNodes& operator=(CXmlNodes&& other) noexcept = default;
    CXmlNodes& operator=(std::unique_ptr<CXmlNodes> nodes);
    ~CXmlNodes() = default;

    bool IsNull() const { return m_list == nullptr; }
    void Release() { m_list.reset(); }

    long GetCount() const;
    // The item at the zero-based index; a null node outside 0 to count-1.
    std::unique_ptr<CXmlNode> GetItem(long index) const;
    // The first item whose node name is exactly `name`; a null node when there is none.
    std::unique_ptr<CXmlNode> GetItem(const std::string& name) const;
    std::unique_ptr<CXmlNode> operator[](long index) const { return GetItem(index); }
    std::unique_ptr<CXmlNode> operator[](const std::string& name) const { return GetItem(name); }

private:
    friend class CXml;
    friend class CXmlNode;

    explicit CXmlNodes(std::shared_ptr<XmlNodeList> list) : m_list(std::move(list)) {}

    std::shared_ptr<XmlNodeList> m_list;
};

} // namespace Domvine
