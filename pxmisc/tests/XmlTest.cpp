#include "pxmisc/CXml.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Domvine::CXml;
using Domvine::CXmlNode;
using Domvine::CXmlNodes;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "xmltest.XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

std::string Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

CXml Load(const char* text) {
    CXml xml;
    EXPECT_TRUE(xml.LoadXml(text)) << text;
    return xml;
}

// A server on 127.0.0.1 that hangs up on every client at once, so a fetch fails fast instead
// of hanging, and records whether anyone came.
class Listener {
public:
    Listener() : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        EXPECT_EQ(::bind(m_fd, raw, size), 0);
        EXPECT_EQ(::listen(m_fd, 4), 0);
        EXPECT_EQ(::getsockname(m_fd, raw, &size), 0);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            while (!m_stop) {
                pollfd waiting{m_fd, POLLIN, 0};
                if (::poll(&waiting, 1, 20) == 1) {
                    const int client = ::accept(m_fd, nullptr, nullptr);
                    if (client >= 0) {
                        m_contacted = true;
                        ::close(client);
                    }
                }
            }
        });
    }
    ~Listener() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    std::string Url(const char* file) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/" + file;
    }
    bool Contacted() const { return m_contacted; }

private:
    int m_fd;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_contacted{false};
    std::thread m_thread;
};

} // namespace

TEST(XmlTest, OpenOfMissingFileKeepsThePreviousDocument) {
    TempDir dir;
    const std::string good = Write(dir.File("good.xml"), "<strings><s id='a'>A</s></strings>");
    CXml xml;
    ASSERT_TRUE(xml.Open(good.c_str()));
    EXPECT_FALSE(xml.Open(dir.File("missing.xml").c_str()));
    EXPECT_FALSE(xml.Open(nullptr));
    EXPECT_EQ(xml.GetXmlFile(), good);
    CXmlNode root(xml.GetRoot());
    EXPECT_EQ(root.GetName(), "strings");
    EXPECT_EQ(xml.GetVersion(), Domvine::MSXML60);
}

TEST(XmlTest, MalformedFileIsStoredButHasNoRoot) {
    TempDir dir;
    for (const char* text : {"<a><b></a>", "", "not xml", "<a>&undefined;</a>", "<a/><b/>"}) {
        const std::string path = Write(dir.File("bad.xml"), text);
        CXml xml = Load("<old/>");
        EXPECT_FALSE(xml.Open(path.c_str())) << text;
        EXPECT_EQ(xml.GetXmlFile(), path);
        EXPECT_TRUE(CXmlNode(xml.GetRoot()).IsNull()) << text;
    }
}

TEST(XmlTest, OnlyRegularFilesExist) {
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(CXml::IsFileExist(Write(dir.File("f.xml"), "<a/>")));
    EXPECT_FALSE(CXml::IsFileExist(dir.File("")));
    EXPECT_FALSE(CXml::IsFileExist(dir.File("none")));
    EXPECT_FALSE(CXml::IsFileExist(fifo)); // and must not hang
    CXml xml;
    EXPECT_FALSE(xml.Open(fifo.c_str()));
}

TEST(XmlTest, VersionFollowsTheDocument) {
    CXml xml;
    EXPECT_EQ(xml.GetVersion(), Domvine::MSXML_NONE);
    ASSERT_TRUE(xml.LoadXml("<a/>"));
    EXPECT_EQ(xml.GetVersion(), 60);
    xml.Close();
    EXPECT_EQ(xml.GetVersion(), Domvine::MSXML_NONE);
    EXPECT_TRUE(CXmlNode(xml.GetRoot()).IsNull());
}

TEST(XmlTest, ChildrenAreElementsOnly) {
    const struct {
        const char* xml;
        long count;
        const char* firstName;
    } cases[] = {
        {"<a>text only</a>", 0, ""},
        {"<a/>", 0, ""},
        {"<a><b/>t<!--c--><?p d?><![CDATA[x]]><c/></a>", 2, "b"},
        {"<a>\n  <b><x/></b>\n  <c/>\n</a>", 2, "b"},
    };
    for (const auto& test : cases) {
        CXml xml = Load(test.xml);
        CXmlNode root(xml.GetRoot());
        CXmlNodes children(root.GetChildren());
        EXPECT_EQ(children.GetCount(), test.count) << test.xml;
        EXPECT_EQ(CXmlNode(children[0]).GetName(), test.firstName) << test.xml;
        EXPECT_EQ(root.HasChildren(), test.count > 0) << test.xml;
    }
    CXmlNode null;
    EXPECT_EQ(CXmlNodes(null.GetChildren()).GetCount(), -1);
    EXPECT_FALSE(null.HasChildren());
}

TEST(XmlTest, IndexOutsideTheListGivesANullNode) {
    CXml xml = Load("<a><b x='1'>B</b><c/></a>");
    CXmlNodes children(CXmlNode(xml.GetRoot()).GetChildren());
    ASSERT_EQ(children.GetCount(), 2);
    for (long index : {2L, -1L, LONG_MAX}) {
        CXmlNode past(children[index]);
        EXPECT_TRUE(past.IsNull());
        EXPECT_EQ(past.GetAttribute("x", "dflt"), "dflt");
        EXPECT_EQ(past.GetAttribute("x"), "");
        EXPECT_EQ(past.GetValue("dflt"), "dflt");
        EXPECT_EQ(past.GetValue(7), 7);
    }
    EXPECT_EQ(CXmlNode(children["c"]).GetName(), "c");
    EXPECT_TRUE(CXmlNode(children["C"]).IsNull());
    EXPECT_TRUE(CXmlNode(CXmlNodes().GetItem(0)).IsNull());
}

TEST(XmlTest, AttributeDefaults) {
    CXml xml = Load("<a xmlns:p='urn:p' set='v' empty='' p:q='pq'/>");
    const CXmlNode root(xml.GetRoot());
    const struct {
        const char* name;
        const char* defaultValue;
        const char* expected;
    } cases[] = {
        {"set", "d", "v"},      {"set", nullptr, "v"}, {"missing", nullptr, ""},
        {"missing", "d", "d"},  {"empty", "d", "d"},   {"empty", nullptr, ""},
        {"p:q", nullptr, "pq"}, {"q", "d", "d"},       {"xmlns:p", nullptr, "urn:p"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(root.GetAttribute(test.name, test.defaultValue), test.expected) << test.name;
    }
    EXPECT_EQ(root.GetOuterXml(), "<a xmlns:p=\"urn:p\" set=\"v\" empty=\"\" p:q=\"pq\"/>");
}

TEST(XmlTest, TypedAttributesNeverWrite) {
    CXml xml = Load("<a i='12' letters='abc' neg='-1' big='99999999999' f='2.5' b='yes'/>");
    const CXmlNode root(xml.GetRoot());
    EXPECT_EQ(root.GetAttribute("i", 5), 12);
    EXPECT_EQ(root.GetAttribute("missing", 5), 5);
    EXPECT_EQ(root.GetAttribute("letters", 5), 0);
    EXPECT_EQ(root.GetAttribute("big", 0), INT_MAX);
    EXPECT_EQ(root.GetAttribute("big", 0LL), 99999999999LL);
    EXPECT_EQ(root.GetAttribute("neg", uint32_t{0}), UINT32_MAX);
    EXPECT_DOUBLE_EQ(root.GetAttribute("f", 0.0), 2.5);
    EXPECT_FLOAT_EQ(root.GetAttribute("missing", 0.25f), 0.25f);
    EXPECT_TRUE(root.GetAttribute("b", true));
    EXPECT_FALSE(root.GetAttribute("b", false));
    EXPECT_EQ(root.GetOuterXml().find("missing"), std::string::npos);
}

TEST(XmlTest, GetValueWritesTheDefaultIntoAnEmptyNode) {
    CXml xml = Load("<a><empty/><text>T</text><holder><x/></holder></a>");
    CXmlNode root(xml.GetRoot());
    CXmlNode empty(root.GetChild("empty", false));
    EXPECT_EQ(empty.GetValue(), "");
    EXPECT_EQ(empty.GetOuterXml(), "<empty/>");
    EXPECT_EQ(empty.GetValue("dflt"), "dflt");
    EXPECT_EQ(empty.GetValue(), "dflt");
    EXPECT_EQ(empty.GetOuterXml(), "<empty>dflt</empty>");

    CXmlNode text(root.GetChild("text", false));
    EXPECT_EQ(text.GetValue("dflt"), "T");
    EXPECT_EQ(text.GetOuterXml(), "<text>T</text>");

    // The default joins the child elements instead of replacing them.
    CXmlNode holder(root.GetChild("holder", false));
    EXPECT_EQ(holder.GetValue("d"), "d");
    EXPECT_EQ(holder.GetOuterXml(), "<holder><x/>d</holder>");
}

TEST(XmlTest, TypedGetValue) {
    const struct {
        const char* text;
        int defaultValue;
        int expected;
        const char* textAfter;
    } cases[] = {
        {"", 7, 7, "7"},         {"abc", 7, 0, "abc"},  {"42", 7, 42, "42"},
        {" -3x", 7, -3, " -3x"}, {"", -12, -12, "-12"}, {"99999999999", 0, INT_MAX, "99999999999"},
    };
    for (const auto& test : cases) {
        CXml xml = Load(("<a>" + std::string(test.text) + "</a>").c_str());
        CXmlNode root(xml.GetRoot());
        EXPECT_EQ(root.GetValue(test.defaultValue), test.expected) << test.text;
        EXPECT_EQ(root.GetValue(), test.textAfter) << test.text;
    }
}

TEST(XmlTest, TypedDefaultsAreWrittenInTheirFormats) {
    CXml xml = Load("<a><f/><d/><l/><ll/><u/><t/><bad>yes</bad><one>1</one></a>");
    CXmlNode root(xml.GetRoot());
    CXmlNode f(root.GetChild("f")), d(root.GetChild("d")), l(root.GetChild("l"));
    CXmlNode ll(root.GetChild("ll")), u(root.GetChild("u")), t(root.GetChild("t"));
    EXPECT_FLOAT_EQ(f.GetValue(1.5f), 1.5f);
    EXPECT_EQ(f.GetValue(), "1.500000");
    EXPECT_DOUBLE_EQ(d.GetValue(-2.5), -2.5);
    EXPECT_EQ(d.GetValue(), "-2.500000e+00");
    EXPECT_EQ(l.GetValue(-5L), -5L);
    EXPECT_EQ(ll.GetValue(-9000000000LL), -9000000000LL);
    EXPECT_EQ(ll.GetValue(), "-9000000000");
    EXPECT_EQ(u.GetValue(uint32_t{4000000000u}), 4000000000u);
    EXPECT_TRUE(t.GetValue(true));
    EXPECT_EQ(t.GetValue(), "1");
    CXmlNode bad(root.GetChild("bad")), one(root.GetChild("one"));
    EXPECT_FALSE(bad.GetValue(false));
    EXPECT_EQ(bad.GetValue(), "0");
    EXPECT_TRUE(one.GetValue(false));
    EXPECT_EQ(one.GetValue(), "1");
}

TEST(XmlTest, SetValueTakesTextLiterally) {
    CXml xml = Load("<a>old<b/></a>");
    CXmlNode root(xml.GetRoot());
    CXmlNode b(root.GetChild("b", false));
    ASSERT_TRUE(root.SetValue("x &amp; <y>"));
    EXPECT_EQ(root.GetValue(), "x &amp; <y>");
    EXPECT_EQ(root.GetOuterXml(), "<a>x &amp;amp; &lt;y&gt;</a>");
    EXPECT_EQ(b.GetName(), "b"); // the removed child is still a valid node
    EXPECT_TRUE(CXmlNode(b.GetParent()).IsNull());
    EXPECT_TRUE(root.SetValue(2.5));
    EXPECT_EQ(root.GetValue(), "2.500000e+00");
    EXPECT_FALSE(root.SetValue("\xff\xfe"));
    EXPECT_FALSE(CXmlNode().SetValue("x"));
}

TEST(XmlTest, ExternalEntitiesAreNeitherFetchedNorExpanded) {
    TempDir dir;
    Listener listener;
    const std::string secret = Write(dir.File("secret.txt"), "SECRET");
    const std::string documents[] = {
        "<!DOCTYPE r [<!ENTITY e SYSTEM 'file://" + secret + "'>]><r>&e;</r>",
        "<!DOCTYPE r [<!ENTITY e SYSTEM '" + secret + "'>]><r>&e;</r>",
        "<!DOCTYPE r [<!ENTITY e SYSTEM '" + listener.Url("e.txt") + "'>]><r>&e;</r>",
        "<!DOCTYPE r SYSTEM '" + listener.Url("r.dtd") + "'><r>&e;</r>",
        "<!DOCTYPE r [<!ENTITY % p SYSTEM '" + listener.Url("p.dtd") + "'> %p;]><r/>",
    };
    for (const std::string& text : documents) {
        CXml xml;
        const std::string path = Write(dir.File("doc.xml"), text);
        xml.Open(path.c_str());
        CXmlNode root(xml.GetRoot());
        EXPECT_EQ(root.GetValue().find("SECRET"), std::string::npos) << text;
        EXPECT_EQ(root.GetOuterXml().find("SECRET"), std::string::npos) << text;
        xml.LoadXml(text.c_str());
        EXPECT_EQ(CXmlNode(xml.GetRoot()).GetValue().find("SECRET"), std::string::npos);
    }
    EXPECT_FALSE(listener.Contacted());
}

TEST(XmlTest, Base64KnownValuesAndRoundTrips) {
    const std::pair<std::string, std::string> known[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}};
    for (const auto& [plain, encoded] : known) {
        EXPECT_EQ(
            CXml::Base64Encode(reinterpret_cast<const unsigned char*>(plain.data()), plain.size()),
            encoded);
    }
    std::vector<unsigned char> all(256);
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<unsigned char>(i % 3 == 0 ? 0 : i);
    }
    for (std::size_t length : {0, 1, 2, 3, 4, 255, 256}) {
        const std::string text = CXml::Base64Encode(all.data(), length);
        std::size_t size = 0;
        ASSERT_TRUE(CXml::Base64Decode(text, nullptr, size)) << length;
        ASSERT_EQ(size, length);
        std::vector<unsigned char> decoded(size + 1, 0xAA);
        ASSERT_TRUE(CXml::Base64Decode(text, decoded.data(), size));
        EXPECT_TRUE(
            std::equal(all.begin(), all.begin() + static_cast<long>(length), decoded.begin()));
        EXPECT_EQ(decoded[length], 0xAA) << "wrote past the decoded bytes";
    }
}

TEST(XmlTest, Base64DecodeRefusesBadTextAndSmallBuffers) {
    std::size_t size = 99;
    for (const char* bad : {"Zg=", "Z===", "Zm9v!A==", "=Zg="}) {
        EXPECT_FALSE(CXml::Base64Decode(bad, nullptr, size)) << bad;
    }
    EXPECT_TRUE(CXml::Base64Decode(" Zm9v\r\nYg== ", nullptr, size));
    EXPECT_EQ(size, 4u);
    unsigned char buffer[4] = {1, 2, 3, 4};
    size = 3;
    EXPECT_FALSE(CXml::Base64Decode("Zm9vYg==", buffer, size));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(CXml::Base64Encode(nullptr, 3), "");
}

TEST(XmlTest, FormattedSaveReparsesToTheSameTree) {
    TempDir dir;
    const char* source = "<?xml version='1.0'?><r xmlns='urn:d' xmlns:p='urn:p'><p:a k='v &amp; "
                         "w'><b>text</b><c/><!--note--></p:a><d>mixed <e/> content</d>"
                         "<f>caf\xc3\xa9</f></r>";
    for (const char* encoding : {"UTF-8", "ISO-8859-1", "UTF-16"}) {
        CXml xml = Load(source);
        const std::string path = dir.File(std::string("formatted-") + encoding + ".xml");
        ASSERT_TRUE(xml.SaveWithFormatted(path.c_str(), encoding)) << encoding;
        EXPECT_EQ(xml.GetXmlFile(), path);
        const std::string saved = ReadAll(path);
        if (std::string(encoding) != "UTF-16") {
            EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"" + std::string(encoding), 0),
                      0u);
            EXPECT_NE(saved.find("\n  <p:a"), std::string::npos) << saved;
        }
        CXml reopened;
        ASSERT_TRUE(reopened.Open(path.c_str())) << encoding;
        EXPECT_EQ(CXmlNode(reopened.GetRoot()).GetOuterXml(), CXmlNode(xml.GetRoot()).GetOuterXml())
            << encoding;
    }
}

TEST(XmlTest, SavesFailCleanly) {
    TempDir dir;
    CXml closed;
    EXPECT_FALSE(closed.SaveWithFormatted(dir.File("x.xml").c_str()));
    EXPECT_FALSE(closed.Save(dir.File("x.xml").c_str()));
    CXml xml = Load("<a/>");
    EXPECT_FALSE(xml.Save()); // no stored path
    EXPECT_FALSE(xml.SaveWithFormatted(dir.File("x.xml").c_str(), "NO-SUCH-ENCODING"));
    EXPECT_FALSE(xml.Save(dir.File("no/dir.xml").c_str()));
    EXPECT_FALSE(xml.Save("/dev/full"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.xml")));
    EXPECT_EQ(xml.GetXmlFile(), "");
    ASSERT_TRUE(xml.Save(dir.File("ok.xml").c_str()));
    EXPECT_EQ(xml.GetXmlFile(), dir.File("ok.xml"));
    CXmlNode(xml.GetRoot()).SetValue("changed");
    ASSERT_TRUE(xml.Save());
    EXPECT_NE(ReadAll(dir.File("ok.xml")).find("<a>changed</a>"), std::string::npos);
}

TEST(XmlTest, XPathWithAndWithoutSelectionNamespaces) {
    CXml plain = Load("<list><item n='1'/><item n='2'/><other/></list>");
    EXPECT_EQ(CXmlNodes(plain.SelectNodes("//item")).GetCount(), 2);
    EXPECT_EQ(CXmlNode(plain.SelectSingleNode("/list/item[2]")).GetAttribute("n"), "2");
    EXPECT_EQ(CXmlNodes(plain.SelectNodes("//missing")).GetCount(), 0);
    EXPECT_EQ(CXmlNodes(plain.SelectNodes("count(//item)")).GetCount(), -1);
    EXPECT_EQ(CXmlNodes(plain.SelectNodes("//item[")).GetCount(), -1);

    CXml xml = Load("<list xmlns='urn:x'><item/><item/><y:z xmlns:y='urn:y'/></list>");
    EXPECT_EQ(CXmlNodes(xml.SelectNodes("//item")).GetCount(), 0);
    EXPECT_EQ(CXmlNodes(xml.SelectNodes("//x:item")).GetCount(), -1); // unbound prefix
    EXPECT_TRUE(xml.AddSelectionNamespace("x", "urn:x"));
    EXPECT_TRUE(xml.AddSelectionNamespace("q", "urn:y"));
    EXPECT_EQ(CXmlNodes(xml.SelectNodes("//x:item")).GetCount(), 2);
    CXmlNode root(xml.GetRoot());
    EXPECT_EQ(CXmlNode(root.SelectSingleNode("q:z")).GetName(), "y:z");
    EXPECT_FALSE(xml.AddSelectionNamespace("", "urn:x"));
    EXPECT_FALSE(xml.AddSelectionNamespace("a b", "urn:x"));
    EXPECT_FALSE(CXml().AddSelectionNamespace("x", "urn:x"));
    // A new document starts without the old prefixes.
    ASSERT_TRUE(xml.LoadXml("<list xmlns='urn:x'><item/></list>"));
    EXPECT_EQ(CXmlNodes(xml.SelectNodes("//x:item")).GetCount(), -1);
}

TEST(XmlTest, NodeNames) {
    CXml xml = Load("<?xml version='1.0'?><a xmlns:p='urn:p' p:k='1'>t<!--c--><?pi d?>"
                    "<![CDATA[x]]><p:e/></a>");
    const std::pair<const char*, const char*> cases[] = {
        {"/", "#document"},
        {"/a/text()", "#text"},
        {"/a/comment()", "#comment"},
        {"/a/processing-instruction()", "pi"},
        {"/a/@p:k", "p:k"},
        {"/a/*", "p:e"},
        {"/a/node()[4]", "#cdata-section"},
    };
    ASSERT_TRUE(xml.AddSelectionNamespace("p", "urn:p"));
    for (const auto& [xpath, name] : cases) {
        EXPECT_EQ(CXmlNode(xml.SelectSingleNode(xpath)).GetName(), name) << xpath;
    }
}

TEST(XmlTest, CreateBuildsADocumentThatSavesAndReopens) {
    TempDir dir;
    CXml xml;
    ASSERT_TRUE(xml.Create("root", "p", "urn:p"));
    EXPECT_EQ(xml.GetXmlFile(), "");
    CXmlNode root(xml.GetRoot());
    EXPECT_EQ(root.GetName(), "p:root");
    EXPECT_TRUE(CXmlNode(root.GetChild("item", false)).IsNull());
    CXmlNode item(root.GetChild("item"));
    EXPECT_FALSE(item.IsNull());
    EXPECT_TRUE(CXmlNode(root.GetChild("it'em")).IsNull());
    EXPECT_TRUE(CXmlNode(root.NewChild("1bad")).IsNull());
    EXPECT_EQ(CXmlNodes(root.GetChildren()).GetCount(), 1);
    EXPECT_TRUE(item.SetAttribute("n", 3));
    EXPECT_TRUE(item.SetAttribute("n", "4")); // replaces
    EXPECT_TRUE(item.SetAttribute("q", true, "p", "urn:p"));
    EXPECT_TRUE(item.SetAttribute("r", "R", "", "urn:p")); // the prefix in reach is used
    EXPECT_FALSE(item.SetAttribute("s", "S", "p", "urn:other"));
    EXPECT_FALSE(item.SetAttribute("s", "S", "z", ""));
    EXPECT_FALSE(CXml().Create("root", "p", ""));
    EXPECT_FALSE(CXml().Create("bad name"));

    const std::string path = dir.File("created.xml");
    ASSERT_TRUE(xml.Save(path.c_str()));
    CXml reopened;
    ASSERT_TRUE(reopened.Open(path.c_str()));
    CXmlNode again(CXmlNode(reopened.GetRoot()).GetChild("item", false));
    EXPECT_EQ(again.GetAttribute("n", 0), 4);
    EXPECT_TRUE(again.GetAttribute("p:q", false));
    EXPECT_EQ(again.GetAttribute("p:r"), "R");
    EXPECT_TRUE(again.RemoveAttribute("n"));
    EXPECT_FALSE(again.RemoveAttribute("n"));
    EXPECT_EQ(again.GetAttribute("n", "gone"), "gone");
}

TEST(XmlTest, MovingNodes) {
    CXml xml = Load("<a><b>one</b><c>two</c></a>");
    CXml other = Load("<z/>");
    CXmlNode root(xml.GetRoot());
    CXmlNode b(root.GetChild("b", false)), c(root.GetChild("c", false));
    CXmlNode text(b.SelectSingleNode("text()"));
    EXPECT_TRUE(c.AttachChild(text));
    EXPECT_EQ(root.GetOuterXml(), "<a><b/><c>twoone</c></a>");
    EXPECT_EQ(text.GetValue(), "one"); // not merged away
    EXPECT_FALSE(c.AttachChild(root)); // an ancestor
    EXPECT_FALSE(c.AttachChild(c));
    EXPECT_FALSE(c.AttachChild(other.GetRoot()));
    EXPECT_FALSE(text.AttachChild(b.GetParent())); // text takes no children
    CXmlNode detached(c.Detach());
    EXPECT_EQ(root.GetOuterXml(), "<a><b/></a>");
    EXPECT_TRUE(CXmlNode(detached.GetParent()).IsNull());
    EXPECT_TRUE(b.AttachChild(detached));
    EXPECT_EQ(root.GetOuterXml(), "<a><b><c>twoone</c></b></a>");
    EXPECT_EQ(CXmlNode(root.GetParent()).GetName(), "#document");
    root.RemoveChildren();
    EXPECT_EQ(root.GetOuterXml(), "<a/>");
    EXPECT_EQ(c.GetInnerXml(), "twoone");
}

TEST(XmlTest, NodesKeepTheirDocumentAlive) {
    CXmlNode node;
    CXmlNodes list;
    {
        CXml xml = Load("<a><b>kept</b></a>");
        node = CXmlNode(xml.GetRoot()).GetChild("b", false);
        list = xml.SelectNodes("//b");
        CXml copy(xml);
        xml.Close();
        EXPECT_EQ(CXmlNode(copy.GetRoot()).GetName(), "a");
    }
    EXPECT_EQ(node.GetValue(), "kept");
    EXPECT_EQ(CXmlNode(list[0]).GetOuterXml(), "<b>kept</b>");
    node.Release();
    EXPECT_TRUE(node.IsNull());
}
