#include "pxmisc/CXml.h"

#include "XmlDocument.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/xmlsave.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Domvine {

namespace {

// No network, and no external entity or DTD is loaded from anywhere: entities are left as
// references rather than substituted. Whitespace-only text between elements is dropped, and
// parse errors are results, not messages on stderr.
constexpr int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

struct FdClose {
    void operator()(const int* fd) const noexcept {
        ::close(*fd);
        delete fd;
    }
};
using FdPtr = std::unique_ptr<const int, FdClose>;

FdPtr OpenForReading(const char* path) {
    // Non-blocking, so that a FIFO does not hang the open.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    return fd >= 0 ? FdPtr(new int(fd)) : FdPtr();
}

struct FileClose {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

struct XmlSaveClose {
    void operator()(xmlSaveCtxt* save) const noexcept { xmlSaveClose(save); }
};
using XmlSavePtr = std::unique_ptr<xmlSaveCtxt, XmlSaveClose>;

struct XmlEncodingClose {
    void operator()(xmlCharEncodingHandler* handler) const noexcept {
        xmlCharEncCloseFunc(handler);
    }
};
using XmlEncodingPtr = std::unique_ptr<xmlCharEncodingHandler, XmlEncodingClose>;

// The document's bytes in `encoding` (null: the document's own, else UTF-8).
bool Serialize(xmlDoc* doc, const char* encoding, int options, std::string& bytes) {
    if (encoding == nullptr) {
        encoding =
            doc->encoding != nullptr ? reinterpret_cast<const char*>(doc->encoding) : "UTF-8";
    }
    // Asked first, since the writer would report an unknown encoding on stderr.
    XmlEncodingPtr handler(xmlFindCharEncodingHandler(encoding));
    XmlBufferPtr buffer(xmlBufferCreate());
    if (handler == nullptr || buffer == nullptr) {
        return false;
    }
    XmlSavePtr save(xmlSaveToBuffer(buffer.get(), encoding, options));
    if (save == nullptr) {
        return false;
    }
    const long result = xmlSaveDoc(save.get(), doc);
    if (xmlSaveClose(save.release()) < 0 || result < 0) {
        return false;
    }
    const int length = xmlBufferLength(buffer.get());
    if (length <= 0) {
        return false;
    }
    bytes.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                 static_cast<std::size_t>(length));
    return true;
}

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
    const char* found = c != '\0' ? std::strchr(kBase64Alphabet, c) : nullptr;
    return found != nullptr ? static_cast<int>(found - kBase64Alphabet) : -1;
}

// The decoded bytes, or false when the text is not Base64.
bool DecodeBase64(const std::string& text, std::vector<unsigned char>& bytes) {
    std::string digits;
    digits.reserve(text.size());
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            digits.push_back(c);
        }
    }
    if (digits.size() % 4 != 0) {
        return false;
    }
    std::size_t padding = 0;
    while (padding < 2 && padding < digits.size() && digits[digits.size() - 1 - padding] == '=') {
        ++padding;
    }
    bytes.clear();
    bytes.reserve(digits.size() / 4 * 3);
    for (std::size_t group = 0; group < digits.size(); group += 4) {
        const bool last = group + 4 == digits.size();
        const std::size_t used = last ? 4 - padding : 4;
        uint32_t bits = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            int value = 0;
            if (i < used) {
                value = Base64Value(digits[group + i]);
                if (value < 0) {
                    return false;
                }
            }
            bits = (bits << 6) | static_cast<uint32_t>(value);
        }
        for (std::size_t i = 0; i + 1 < used; ++i) {
            bytes.push_back(static_cast<unsigned char>(bits >> (16 - 8 * i)));
        }
    }
    return true;
}

} // namespace

CXml::~CXml() {
    Close();
}

bool CXml::IsFileExist(const std::string& path) {
    FdPtr fd = OpenForReading(path.c_str());
    struct stat status {};
    // A directory opens for reading here, but it is no file.
    return fd != nullptr && ::fstat(*fd, &status) == 0 && S_ISREG(status.st_mode);
}

bool CXml::CreateDocument() {
    Close();
    xmlInitParser();
    XmlDocPtr doc(xmlNewDoc(XmlText("1.0")));
    if (doc == nullptr) {
        return false;
    }
    m_doc = std::make_shared<XmlDocument>(std::move(doc));
    m_version = MSXML60;
    return true;
}

bool CXml::Open(const char* path) {
    if (path == nullptr || !IsFileExist(path) || !CreateDocument()) {
        return false;
    }
    m_path = path;
    FdPtr fd = OpenForReading(path);
    if (fd == nullptr || ::fcntl(*fd, F_SETFL, 0) != 0) {
        return false;
    }
    XmlDocPtr parsed(xmlReadFd(*fd, path, nullptr, kParseOptions));
    if (parsed == nullptr) {
        return false;
    }
    m_doc = std::make_shared<XmlDocument>(std::move(parsed));
    return true;
}

bool CXml::Create(const char* rootName, const char* prefix, const char* namespaceUri) {
    // libxml2 writes the XML declaration itself, so no "xml" processing instruction is added.
    if (!CreateDocument()) {
        return false;
    }
    CXmlNode root(CreateNode(rootName, prefix, namespaceUri));
    if (root.IsNull()) {
        return false;
    }
    xmlDocSetRootElement(m_doc->Doc(), root.m_node.get());
    return true;
}

bool CXml::LoadXml(const char* xml) {
    if (xml == nullptr || !CreateDocument()) {
        return false;
    }
    const std::size_t length = std::strlen(xml);
    if (length > INT_MAX) {
        return false;
    }
    XmlDocPtr parsed(xmlReadMemory(xml, static_cast<int>(length), nullptr, "UTF-8", kParseOptions));
    if (parsed == nullptr) {
        return false;
    }
    m_doc = std::make_shared<XmlDocument>(std::move(parsed));
    return true;
}

void CXml::Close() {
    m_namespaces.clear();
    m_path.clear();
    m_version = MSXML_NONE;
    m_doc.reset();
}

bool CXml::Save(const char* path) {
    return SaveAs(path, nullptr, 0);
}

bool CXml::SaveWithFormatted(const char* path, const char* encoding) {
    return SaveAs(path, encoding != nullptr ? encoding : "UTF-8", XML_SAVE_FORMAT);
}

// Serialises the document and writes it to `path`, or to the path it came from; a successful
// save under a new name makes that name the document's path.
bool CXml::SaveAs(const char* path, const char* encoding, int options) {
    const std::string target = path != nullptr ? path : m_path;
    std::string bytes;
    if (m_doc == nullptr || target.empty() || !Serialize(m_doc->Doc(), encoding, options, bytes)) {
        return false;
    }
    std::istringstream stream(std::move(bytes));
    if (!SaveStreamToFile(stream, target.c_str())) {
        return false;
    }
    if (path != nullptr) {
        m_path = path;
    }
    return true;
}

bool CXml::SaveStreamToFile(std::istream& stream, const char* path) {
    if (path == nullptr || *path == '\0') {
        return false;
    }
    FilePtr file(std::fopen(path, "wb"));
    if (file == nullptr) {
        return false;
    }
    bool ok = true;
    std::array<char, 65536> block{};
    while (ok && stream) {
        stream.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto count = static_cast<std::size_t>(stream.gcount());
        ok = std::fwrite(block.data(), 1, count, file.get()) == count;
    }
    ok = ok && !stream.bad();
    ok = std::fclose(file.release()) == 0 && ok;
    if (!ok) {
        // Half a document must not pass for one. Only a regular file is removed, never a
        // device the path may name.
        struct stat status {};
        if (::lstat(path, &status) == 0 && S_ISREG(status.st_mode)) {
            std::remove(path);
        }
    }
    return ok;
}

std::unique_ptr<CXmlNode> CXml::GetRoot() const {
    xmlNode* root = m_doc != nullptr ? xmlDocGetRootElement(m_doc->Doc()) : nullptr;
    if (root == nullptr) {
        return std::make_unique<CXmlNode>();
    }
    return std::unique_ptr<CXmlNode>(new CXmlNode(std::shared_ptr<_xmlNode>(m_doc, root)));
}

std::unique_ptr<CXmlNode> CXml::CreateNode(const char* name, const char* prefix,
                                           const char* namespaceUri) {
    if (m_doc == nullptr || name == nullptr) {
        return std::make_unique<CXmlNode>();
    }
    std::string localName = name;
    std::string prefixText = prefix != nullptr ? prefix : "";
    const std::string uri = namespaceUri != nullptr ? namespaceUri : "";
    const std::size_t colon = localName.find(':');
    if (prefixText.empty() && colon != std::string::npos && !uri.empty()) {
        // A qualified name given whole.
        prefixText = localName.substr(0, colon);
        localName.erase(0, colon + 1);
    }
    // A prefix names a namespace: without one the element could not be written back.
    const bool valid = prefixText.empty() ? XmlIsValidName(localName, /*colonAllowed=*/uri.empty())
                                          : XmlIsValidName(localName, false) &&
                                                XmlIsValidName(prefixText, false) && !uri.empty() &&
                                                prefixText != "xmlns";
    if (!valid || xmlCheckUTF8(XmlText(uri)) == 0) {
        return std::make_unique<CXmlNode>();
    }
    xmlNode* node = xmlNewDocNode(m_doc->Doc(), nullptr, XmlText(localName), nullptr);
    if (node == nullptr) {
        return std::make_unique<CXmlNode>();
    }
    m_doc->Adopt(node);
    if (!uri.empty()) {
        xmlNs* ns =
            xmlNewNs(node, XmlText(uri), prefixText.empty() ? nullptr : XmlText(prefixText));
        if (ns == nullptr) {
            return std::make_unique<CXmlNode>();
        }
        xmlSetNs(node, ns);
    }
    return std::unique_ptr<CXmlNode>(new CXmlNode(std::shared_ptr<_xmlNode>(m_doc, node)));
}

bool CXml::AddSelectionNamespace(const char* prefix, const char* namespaceUri) {
    if (m_doc == nullptr || prefix == nullptr || namespaceUri == nullptr ||
        !XmlIsValidName(prefix, false) || xmlCheckUTF8(XmlText(namespaceUri)) == 0) {
        return false;
    }
    m_namespaces[prefix] = namespaceUri;
    m_doc->SetSelectionNamespaces({m_namespaces.begin(), m_namespaces.end()});
    return true;
}

std::unique_ptr<CXmlNode> CXml::SelectSingleNode(const std::string& xpath) const {
    if (m_doc == nullptr) {
        return std::make_unique<CXmlNode>();
    }
    CXmlNode document(std::shared_ptr<_xmlNode>(m_doc, AsNode(m_doc->Doc())));
    return document.SelectSingleNode(xpath);
}

std::unique_ptr<CXmlNodes> CXml::SelectNodes(const std::string& xpath) const {
    if (m_doc == nullptr) {
        return std::make_unique<CXmlNodes>();
    }
    CXmlNode document(std::shared_ptr<_xmlNode>(m_doc, AsNode(m_doc->Doc())));
    return document.SelectNodes(xpath);
}

std::string CXml::Base64Encode(const unsigned char* bytes, std::size_t length) {
    std::string text;
    if (bytes == nullptr) {
        return text;
    }
    text.reserve((length + 2) / 3 * 4);
    for (std::size_t offset = 0; offset < length; offset += 3) {
        const std::size_t count = std::min<std::size_t>(3, length - offset);
        uint32_t bits = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            bits = (bits << 8) | (i < count ? bytes[offset + i] : 0u);
        }
        for (std::size_t i = 0; i < 4; ++i) {
            text.push_back(i <= count ? kBase64Alphabet[(bits >> (18 - 6 * i)) & 0x3F] : '=');
        }
    }
    return text;
}

bool CXml::Base64Decode(const std::string& text, unsigned char* buffer, std::size_t& length) {
    std::vector<unsigned char> bytes;
    if (!DecodeBase64(text, bytes)) {
        return false;
    }
    if (buffer == nullptr) {
        length = bytes.size();
        return true;
    }
    const std::size_t capacity = length;
    length = bytes.size();
    if (bytes.size() > capacity) {
        return false;
    }
    std::memset(buffer, 0, bytes.size());
    std::copy(bytes.begin(), bytes.end(), buffer);
    return true;
}

} // namespace Domvine
