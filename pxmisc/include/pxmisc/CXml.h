#pragma once

#include "pxmisc/CXmlNode.h"
#include "pxmisc/CXmlNodes.h"
#include "pxmisc/PXMiscExport.h"

#include <cstddef>
#include <istream>
#include <map>
#include <memory>
#include <string>

namespace Domvine {

class XmlDocument;

// The parser generation behind a document. Documents are parsed by libxml2, which stands in
// for the newest generation, so an open document reports MSXML60.
enum MSXML_VERSION {
    MSXML_NONE = 0, // closed, or the version-independent parser
    MSXML26 = 26,
    MSXML30 = 30,
    MSXML40 = 40,
    MSXML50 = 50,
    MSXML60 = 60,
};

// One XML document: open, create, query and save. No operation throws; failures are results.
//
// Parsing never reaches the network and loads no external entity or DTD, remote or local.
// Whitespace-only text between elements is dropped.
class PXMISC_EXPORT CXml {
public:
    CXml() = default;
    // A copy shares the document and keeps its own path, version and namespace map.
    CXml(const CXml& other) = default;
    CXml& operator=(const CXml& other) = default;
    ~CXml();

    // True when `path` names a regular file that can be opened for reading.
    static bool IsFileExist(const std::string& path);

    // Parses the file. A missing file leaves the current document as it was; a file that is
    // found replaces it and becomes the stored path even when its parse then fails.
    bool Open(const char* path);
    // A new document whose root element is made as CreateNode makes it.
    bool Create(const char* rootName, const char* prefix = "", const char* namespaceUri = "");
    // Parses the UTF-8 text as a new document; the stored path is emptied.
    bool LoadXml(const char* xml);
    void Close();

    // Writes the document as it is to `path`, or to the stored path when `path` is null.
    bool Save(const char* path = nullptr);
    // Writes an indented copy in `encoding`, to `path` or to the stored path.
    bool SaveWithFormatted(const char* path = nullptr, const char* encoding = "UTF-8");
    // Copies what remains in the stream into a new file at `path`; a failed copy leaves no
    // file behind.
    static bool SaveStreamToFile(std::istream& stream, const char* path);

    std::string GetXmlFile() const { return m_path; }
    MSXML_VERSION GetVersion() const { return m_version; }

    // The document element; a null node when there is none or nothing is open.
    std::unique_ptr<CXmlNode> GetRoot() const;
    // A new, unattached element `prefix:name` (or `name`) in the namespace `namespaceUri`.
    std::unique_ptr<CXmlNode> CreateNode(const char* name, const char* prefix = "",
                                         const char* namespaceUri = "");

    // Lets XPath expressions use `prefix` for `namespaceUri`. False when nothing is open or the
    // prefix is not a valid one.
    bool AddSelectionNamespace(const char* prefix, const char* namespaceUri);
    std::unique_ptr<CXmlNode> SelectSingleNode(const std::string& xpath) const;
    std::unique_ptr<CXmlNodes> SelectNodes(const std::string& xpath) const;

    // Base64 without line breaks; "" for a null pointer with a non-zero length.
    static std::string Base64Encode(const unsigned char* bytes, std::size_t length);
    // Decodes `text` (whitespace is ignored). With a null `buffer`, `length` receives the
    // decoded size. Otherwise `length` gives the buffer's size on entry: the buffer is cleared
    // and filled and `length` receives the decoded size, or, when the buffer is too small,
    // nothing is written, `length` receives the size needed and the result is false.
    static bool Base64Decode(const std::string& text, unsigned char* buffer, std::size_t& length);

private:
    bool SaveAs(const char* path, const char* encoding, int options);
    // Closes, then starts an empty document.
    bool CreateDocument();

    std::shared_ptr<XmlDocument> m_doc;
    std::string m_path;
    MSXML_VERSION m_version = MSXML_NONE;
    std::map<std::string, std::string> m_namespaces;
};

} // namespace Domvine
