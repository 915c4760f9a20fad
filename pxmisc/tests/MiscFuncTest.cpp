#include "pxmisc/CMiscFunc.h"
#include "pxmisc/VersionBlock.h"

#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <elf.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <list>
#include <string>
#include <sys/stat.h>
#include <vector>

// The test program's own block: a doubled key and an empty value show how lookups treat them.
#define MISC_TEST_VERSION_ENTRIES                                                                  \
    PXMISC_VERSION_ENTRY("ProductName", "PXMisc tests")                                            \
    PXMISC_VERSION_ENTRY("ProductVersion", "1.00")                                                 \
    PXMISC_VERSION_ENTRY("LegalCopyright", "")                                                     \
    PXMISC_VERSION_ENTRY("Doubled", "first")                                                       \
    PXMISC_VERSION_ENTRY("Doubled", "second")                                                      \
    PXMISC_VERSION_ENTRY("Greeting", "Grüße")

PXMISC_VERSION_BLOCK(MISC_TEST_VERSION_ENTRIES);

namespace {

namespace fs = std::filesystem;

const std::array<const char*, 4> kProductKeys = {"ProductName", "ProductVersion", "LegalCopyright",
                                                 "LegalTrademarks"};

using Bytes = std::vector<unsigned char>;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

// Every product key of `path` must read as "".
void ExpectNoVersion(const fs::path& path, const std::string& what) {
    for (const char* key : kProductKeys) {
        EXPECT_EQ(CMiscFunc::GetAppVersion(path.c_str(), key), "") << what << ", key " << key;
    }
}

// The tree's orvanta-cli, which the build gives its version block.
fs::path OrvantaCliPath() {
    return ORVANTA_CLI_PATH;
}

class MiscFuncFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    fs::path Path(const char* name) const { return fs::path(m_dir.path().toStdString()) / name; }

private:
    QTemporaryDir m_dir;
};

// ---- Time and size texts -------------------------------------------------------------------

TEST(MiscFuncText, PrettyTimeString) {
    const struct {
        int milliseconds;
        const char* expected;
    } rows[] = {
        {0, "00:00"},
        {999, "00:00"}, // fractions of a second are dropped
        {1000, "00:01"},
        {60000, "01:00"},
        {83000, "01:23"},
        {3599999, "59:59"},
        {3600000, "1:00:00"},
        {3723000, "1:02:03"},
        {360000000, "100:00:00"}, // hours have no upper limit and no zero fill
        {INT_MAX, "596:31:23"},
        {-999, "00:00"},
        {-1500, "-00:01"},
        {-3723000, "-1:02:03"},
        {INT_MIN, "-596:31:23"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CMiscFunc::GetPrettyTimeString(row.milliseconds), row.expected)
            << row.milliseconds << " ms";
    }
}

TEST(MiscFuncText, FormatedFileSize) {
    const struct {
        std::uint64_t bytes;
        const char* expected;
    } rows[] = {
        {0, "0 KB"},
        {511, "0 KB"},
        {512, "1 KB"}, // rounds to nearest, half up
        {1536, "2 KB"},
        {999 * 1024, "999 KB"},
        {1000 * 1024, "1,000 KB"},
        {1048576, "1,024 KB"},
        {1024ull * 123456789, "123,456,789 KB"},
        {UINT64_MAX, "18,014,398,509,481,984 KB"}, // no wrap when rounding up the largest size
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CMiscFunc::GetFormatedFileSize(row.bytes), row.expected) << row.bytes;
    }
}

TEST(MiscFuncText, PrettyFileSize) {
    const struct {
        std::uint64_t bytes;
        int decimals;
        const char* expected;
    } rows[] = {
        {0, 2, "0"},
        {500, 2, "500"},
        {1023, 2, "1023"},
        {1024, 2, "1.00KB"},
        {1536, 1, "1.5KB"},
        {1048575, 0, "1024KB"}, // still below 1 MB, however it rounds
        {1048576, 2, "1.00MB"},
        {1610612736, 2, "1.50GB"},
        {1ull << 40, 0, "1024GB"}, // GB is the largest unit
        {1024, -3, "1KB"},         // a negative count of decimals means none
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CMiscFunc::GetPrettyFileSize(row.bytes, row.decimals), row.expected)
            << row.bytes << " bytes, " << row.decimals << " decimals";
    }
}

TEST(MiscFuncText, SortStringArrayByBytes) {
    const struct {
        std::vector<std::string> input;
        bool descending;
        std::vector<std::string> expected;
    } rows[] = {
        {{"b", "B", "a", "A"}, false, {"A", "B", "a", "b"}}, // upper case first: byte order
        {{"9", "10", "100"}, false, {"10", "100", "9"}},
        {{"9", "10", "100"}, true, {"9", "100", "10"}},
        // Bytes of 0x80 and above sort after ASCII, so UTF-8 sorts by code point.
        {{"\xc3\xa9", "z", "Z", "\xe2\x82\xac"}, false, {"Z", "z", "\xc3\xa9", "\xe2\x82\xac"}},
        {{"ab", "a", "", "ab"}, false, {"", "a", "ab", "ab"}},
        {{"ab", "a", "", "ab"}, true, {"ab", "ab", "a", ""}},
        {{}, true, {}},
    };
    for (const auto& row : rows) {
        std::vector<std::string> array = row.input;
        CMiscFunc::SortStringArray(array, row.descending);
        EXPECT_EQ(array, row.expected) << (row.descending ? "descending" : "ascending");
    }
}

TEST(MiscFuncText, String2IntReadsLikeAtoiButSaturates) {
    const struct {
        const char* text;
        int expected;
    } rows[] = {
        {"42", 42},
        {"  -17abc", -17},
        {"\t\n+5", 5},
        {"12 34", 12},
        {"abc", 0},
        {"", 0},
        {"- 5", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999999999999999", INT_MIN},
        {"000000000000000000000000007", 7},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CMiscFunc::String2Int(row.text), row.expected) << '"' << row.text << '"';
    }
    EXPECT_EQ(CMiscFunc::Int2String(INT_MIN), "-2147483648");
    EXPECT_EQ(CMiscFunc::Int2String(0), "0");
}

TEST(MiscFuncText, ObListPositionToIndex) {
    const std::list<int> list = {10, 20, 30};
    const int head = list.front();
    const int stranger = 20;
    const auto at = [&list](int index) { return &*std::next(list.begin(), index); };

    EXPECT_EQ(CMiscFunc::ObList_Position2Index(list, at(1)), 0);
    EXPECT_EQ(CMiscFunc::ObList_Position2Index(list, at(2)), 1);
    EXPECT_EQ(CMiscFunc::ObList_Position2Index(list, at(0)), -1);     // the head
    EXPECT_EQ(CMiscFunc::ObList_Position2Index(list, &stranger), -1); // equal value, other object
    EXPECT_EQ(CMiscFunc::ObList_Position2Index(list, &head), -1);
    EXPECT_EQ(CMiscFunc::ObList_Position2Index(list, nullptr), 2); // after the tail
    EXPECT_EQ(CMiscFunc::ObList_Position2Index(std::list<int>(), nullptr), -1);
}

// ---- Paths of the running program and files -----------------------------------------------

TEST(MiscFuncPaths, ExecutableAndUserPaths) {
    const std::string pathName = CMiscFunc::GetExePathName();
    const std::string folder = CMiscFunc::GetExePath();
    ASSERT_TRUE(fs::path(pathName).is_absolute()) << pathName;
    EXPECT_TRUE(fs::is_regular_file(pathName)) << pathName;
    EXPECT_EQ(fs::path(pathName).filename(), "pxmisc_tests");
    EXPECT_EQ(folder + "pxmisc_tests", pathName);

    EXPECT_EQ(CMiscFunc::GetUserPath("strings.xml"), folder + "strings.xml");
    EXPECT_EQ(CMiscFunc::GetUserFile("lang", "de.xml"), folder + "lang/de.xml");
    EXPECT_EQ(CMiscFunc::GetUserFile("lang/", "de.xml"), folder + "lang/de.xml");
    // A backslash is an ordinary character here, not a separator.
    EXPECT_EQ(CMiscFunc::GetUserFile("lang\\", "de.xml"), folder + "lang\\/de.xml");
}

TEST_F(MiscFuncFiles, FreeDiskSpace) {
    std::string text = "untouched";
    EXPECT_FALSE(CMiscFunc::GetFreeDiskSpace(Path("missing/deeper").string(), text));
    EXPECT_EQ(text, "untouched");

    ASSERT_TRUE(CMiscFunc::GetFreeDiskSpace(Path("").string(), text));
    const std::string prefix = "Free Space: ";
    ASSERT_TRUE(text.starts_with(prefix) && text.ends_with(" MB")) << text;
    const std::string number = text.substr(prefix.size(), text.size() - prefix.size() - 3);
    ASSERT_FALSE(number.empty());
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << text;
    const std::uint64_t freeMegabytes = std::stoull(number);
    const std::uint64_t reportedMegabytes = fs::space(Path("")).available >> 20;
    // Other programs write meanwhile; the two readings only need to agree roughly.
    EXPECT_LE(freeMegabytes, reportedMegabytes + 64);
    EXPECT_GE(freeMegabytes + 64, reportedMegabytes);
}

TEST_F(MiscFuncFiles, DependentFileNew) {
    const fs::path first = Path("source.wav");
    const fs::path second = Path("source.wfp");
    WriteAll(first, {1});
    WriteAll(second, {2});
    const auto base = fs::last_write_time(first);
    const struct {
        std::chrono::seconds secondOffset;
        bool expected;
    } rows[] = {
        {std::chrono::seconds(5), true},
        {std::chrono::seconds(0), false}, // as old is not newer
        {std::chrono::seconds(-5), false},
    };
    for (const auto& row : rows) {
        fs::last_write_time(second, base + row.secondOffset);
        EXPECT_EQ(CMiscFunc::IsDependentFileNew(first.string(), second.string()), row.expected)
            << row.secondOffset.count() << " s";
    }
    fs::last_write_time(second, base + std::chrono::seconds(5));
    EXPECT_FALSE(CMiscFunc::IsDependentFileNew(Path("none").string(), second.string()));
    EXPECT_FALSE(CMiscFunc::IsDependentFileNew(first.string(), Path("none").string()));
    EXPECT_TRUE(CMiscFunc::AssociateFile(".mp3", "Orvanta.mp3", "MP3", "", ""));
}

// ---- Version blocks ------------------------------------------------------------------------

TEST(MiscFuncVersion, OwnBlock) {
    const std::string self = CMiscFunc::GetExePathName();
    const struct {
        const char* key;
        const char* expected;
    } rows[] = {
        {"ProductVersion", "1.00"}, {"ProductName", "PXMisc tests"},
        {"Greeting", "Grüße"},      {"Doubled", "first"}, // the first of two entries wins
        {"LegalCopyright", ""},                           // present but empty
        {"LegalTrademarks", ""},    {"Product", ""},      // no prefix matches
        {"productversion", ""},     {"", ""},
        {"PXMISC-VERSION-1", ""}, // the magic is not a key
    };
    for (const auto& row : rows) {
        EXPECT_EQ(CMiscFunc::GetAppVersion(self.c_str(), row.key), row.expected) << row.key;
    }
    EXPECT_EQ(CMiscFunc::GetAppVersion(self.c_str(), nullptr), "");
    EXPECT_EQ(CMiscFunc::GetAppVersion(nullptr, "ProductVersion"), "");
}

TEST(MiscFuncVersion, OrvantaCliBlock) {
    const fs::path cli = OrvantaCliPath();
    ASSERT_TRUE(fs::is_regular_file(cli)) << cli << " (build orvanta-cli as well)";
    EXPECT_EQ(CMiscFunc::GetAppVersion(cli.c_str(), "ProductName"), "Orvanta");
    EXPECT_EQ(CMiscFunc::GetAppVersion(cli.c_str(), "ProductVersion"), "1.00");
    EXPECT_NE(CMiscFunc::GetAppVersion(cli.c_str(), "LegalCopyright"), "");
    EXPECT_NE(CMiscFunc::GetAppVersion(cli.c_str(), "LegalTrademarks"), "");
}

TEST_F(MiscFuncFiles, FilesWithoutBlock) {
    ExpectNoVersion("/bin/true", "ELF without a block");
    // The library itself embeds no block either.
    const fs::path library = fs::path(CMiscFunc::GetExePath()) / ".." / "libpxmisc.so";
    ASSERT_TRUE(fs::exists(library)) << library;
    ExpectNoVersion(library, "shared library");

    WriteAll(Path("empty"), {});
    ExpectNoVersion(Path("empty"), "empty file");
    WriteAll(Path("text"), Bytes(4096, 'x'));
    ExpectNoVersion(Path("text"), "text file");
    WriteAll(Path("magic-only"), {0x7f, 'E', 'L', 'F'});
    ExpectNoVersion(Path("magic-only"), "ELF magic only");
    ExpectNoVersion(Path("missing"), "missing file");
    ExpectNoVersion(Path(""), "folder");
    ExpectNoVersion("/dev/null", "device");
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    ExpectNoVersion(Path("fifo"), "FIFO with no writer"); // must not block
}

// A real ELF64 file opened for surgery on its header and section headers.
class ElfCopy {
public:
    explicit ElfCopy(Bytes bytes) : m_bytes(std::move(bytes)) {}
    const Bytes& Data() const { return m_bytes; }

    Elf64_Ehdr Header() const { return Load<Elf64_Ehdr>(0); }
    void SetHeader(const Elf64_Ehdr& header) { Store(0, header); }

    std::uint64_t SectionHeaderOffset(std::size_t index) const {
        return Header().e_shoff + index * Header().e_shentsize;
    }
    Elf64_Shdr Section(std::size_t index) const {
        return Load<Elf64_Shdr>(SectionHeaderOffset(index));
    }
    void SetSection(std::size_t index, const Elf64_Shdr& section) {
        Store(SectionHeaderOffset(index), section);
    }

    std::size_t IndexOf(const char* name) const {
        const Elf64_Shdr names = Section(Header().e_shstrndx);
        for (std::size_t i = 0; i < Header().e_shnum; ++i) {
            const char* found = reinterpret_cast<const char*>(m_bytes.data()) + names.sh_offset +
                                Section(i).sh_name;
            if (std::strcmp(found, name) == 0) {
                return i;
            }
        }
        ADD_FAILURE() << "no section " << name;
        return 0;
    }

private:
    template <class T> T Load(std::uint64_t offset) const {
        T value{};
        EXPECT_LE(offset + sizeof(T), m_bytes.size());
        std::memcpy(&value, m_bytes.data() + offset, sizeof(T));
        return value;
    }
    template <class T> void Store(std::uint64_t offset, const T& value) {
        std::memcpy(m_bytes.data() + offset, &value, sizeof(T));
    }

    Bytes m_bytes;
};

TEST_F(MiscFuncFiles, TruncatedCopiesHaveNoVersion) {
    const Bytes original = ReadAll(OrvantaCliPath());
    ASSERT_GT(original.size(), 4096u);
    const ElfCopy elf(original);
    const std::uint64_t tableStart = elf.Header().e_shoff;
    const Elf64_Shdr block = elf.Section(elf.IndexOf(PXMISC_VERSION_SECTION));

    // Every length in the headers, around the block and through the section header table
    // (which sits at the end), plus a stride through the rest.
    std::vector<std::uint64_t> lengths;
    for (std::uint64_t length = 0; length <= 128; ++length) {
        lengths.push_back(length);
    }
    for (std::uint64_t length = block.sh_offset; length <= block.sh_offset + block.sh_size;
         ++length) {
        lengths.push_back(length);
    }
    for (std::uint64_t length = tableStart; length < original.size(); length += 7) {
        lengths.push_back(length);
    }
    for (std::uint64_t length = 128; length < original.size(); length += original.size() / 50) {
        lengths.push_back(length);
    }
    lengths.push_back(original.size() - 1);
    // Longest first, so each cut only shortens the file left by the one before.
    std::sort(lengths.rbegin(), lengths.rend());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());

    const fs::path cut = Path("cut");
    WriteAll(cut, original);
    ASSERT_EQ(CMiscFunc::GetAppVersion(cut.c_str(), "ProductVersion"), "1.00");
    for (const std::uint64_t length : lengths) {
        fs::resize_file(cut, length);
        ASSERT_EQ(CMiscFunc::GetAppVersion(cut.c_str(), "ProductVersion"), "")
            << "cut at " << length << " of " << original.size();
    }
}

TEST_F(MiscFuncFiles, HostileHeadersHaveNoVersion) {
    const ElfCopy pristine(ReadAll(OrvantaCliPath()));
    const std::uint64_t fileBytes = pristine.Data().size();
    const std::size_t blockIndex = pristine.IndexOf(PXMISC_VERSION_SECTION);
    const std::size_t namesIndex = pristine.Header().e_shstrndx;

    const struct {
        const char* what;
        std::function<void(ElfCopy&)> damage;
    } rows[] = {
        {"table past the end",
         [&](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_shoff = fileBytes;
             elf.SetHeader(header);
         }},
        {"table straddling the end",
         [&](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_shoff = fileBytes - 10;
             elf.SetHeader(header);
         }},
        {"table offset near 2^64",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_shoff = UINT64_MAX - 8;
             elf.SetHeader(header);
         }},
        {"table offset 0",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_shoff = 0;
             elf.SetHeader(header);
         }},
        {"most sections past the end",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_shnum = 0xfffe;
             elf.SetHeader(header);
         }},
        {"entries too small",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_shentsize = 1;
             elf.SetHeader(header);
         }},
        {"entries of size 0",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_shentsize = 0;
             elf.SetHeader(header);
         }},
        {"names index out of range",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_shstrndx = header.e_shnum;
             elf.SetHeader(header);
         }},
        {"extended names index out of range",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_shstrndx = SHN_XINDEX;
             elf.SetHeader(header);
             auto zero = elf.Section(0);
             zero.sh_link = 0xffffffff;
             elf.SetSection(0, zero);
         }},
        {"extended count of 2^64-1",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_shnum = 0;
             elf.SetHeader(header);
             auto zero = elf.Section(0);
             zero.sh_size = UINT64_MAX;
             elf.SetSection(0, zero);
         }},
        {"names section past the end",
         [&](ElfCopy& elf) {
             auto names = elf.Section(namesIndex);
             names.sh_offset = fileBytes + 1;
             elf.SetSection(namesIndex, names);
         }},
        {"names section size wraps",
         [&](ElfCopy& elf) {
             auto names = elf.Section(namesIndex);
             names.sh_size = UINT64_MAX - names.sh_offset + 2;
             elf.SetSection(namesIndex, names);
         }},
        {"block name past the names",
         [&](ElfCopy& elf) {
             auto block = elf.Section(blockIndex);
             block.sh_name = 0xfffffff0;
             elf.SetSection(blockIndex, block);
         }},
        {"block past the end",
         [&](ElfCopy& elf) {
             auto block = elf.Section(blockIndex);
             block.sh_offset = fileBytes;
             elf.SetSection(blockIndex, block);
         }},
        {"block offset and size wrap",
         [&](ElfCopy& elf) {
             auto block = elf.Section(blockIndex);
             block.sh_offset = UINT64_MAX - 4;
             block.sh_size = 64;
             elf.SetSection(blockIndex, block);
         }},
        {"block of 2^64-1 bytes",
         [&](ElfCopy& elf) {
             auto block = elf.Section(blockIndex);
             block.sh_size = UINT64_MAX;
             elf.SetSection(blockIndex, block);
         }},
        {"block without file bytes",
         [&](ElfCopy& elf) {
             auto block = elf.Section(blockIndex);
             block.sh_type = SHT_NOBITS;
             elf.SetSection(blockIndex, block);
         }},
        {"block magic damaged",
         [&](ElfCopy& elf) {
             auto block = elf.Section(blockIndex);
             Bytes bytes = elf.Data();
             bytes[block.sh_offset] ^= 0x20;
             elf = ElfCopy(std::move(bytes));
         }},
        {"unknown class",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_ident[EI_CLASS] = 3;
             elf.SetHeader(header);
         }},
        {"unknown byte order",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_ident[EI_DATA] = ELFDATANONE;
             elf.SetHeader(header);
         }},
        {"read as ELF32",
         [](ElfCopy& elf) {
             auto header = elf.Header();
             header.e_ident[EI_CLASS] = ELFCLASS32;
             elf.SetHeader(header);
         }},
    };
    const fs::path damaged = Path("damaged");
    for (const auto& row : rows) {
        ElfCopy copy = pristine;
        row.damage(copy);
        WriteAll(damaged, copy.Data());
        ExpectNoVersion(damaged, row.what);
    }
}

TEST_F(MiscFuncFiles, ShortenedBlockKeepsWholeEntries) {
    ElfCopy elf(ReadAll(OrvantaCliPath()));
    const std::size_t blockIndex = elf.IndexOf(PXMISC_VERSION_SECTION);
    auto block = elf.Section(blockIndex);
    const std::string text(reinterpret_cast<const char*>(elf.Data().data()) + block.sh_offset,
                           block.sh_size);
    // Cut right after "1.00" (without its NUL), then right after its NUL.
    const std::size_t versionEnd = text.find(std::string("ProductVersion\0"
                                                         "1.00",
                                                         19)) +
                                   19;
    ASSERT_NE(versionEnd, std::string::npos + 19);

    const fs::path shortened = Path("shortened");
    block.sh_size = versionEnd;
    elf.SetSection(blockIndex, block);
    WriteAll(shortened, elf.Data());
    EXPECT_EQ(CMiscFunc::GetAppVersion(shortened.c_str(), "ProductName"), "Orvanta");
    EXPECT_EQ(CMiscFunc::GetAppVersion(shortened.c_str(), "ProductVersion"), "");

    block.sh_size = versionEnd + 1;
    elf.SetSection(blockIndex, block);
    WriteAll(shortened, elf.Data());
    EXPECT_EQ(CMiscFunc::GetAppVersion(shortened.c_str(), "ProductVersion"), "1.00");
    EXPECT_EQ(CMiscFunc::GetAppVersion(shortened.c_str(), "LegalCopyright"), "");
}

// A minimal ELF file of either class and byte order: header, section names, the test program's
// block, and a table of three sections (null, names, block). With extended numbering the count
// and the names index sit in section 0, as files with very many sections keep them.
Bytes BuildElf(bool is64, bool bigEndian, bool extendedNumbering) {
    const std::size_t headerBytes = is64 ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr);
    const std::size_t entryBytes = is64 ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr);
    std::string names(1, '\0');
    const std::size_t namesName = names.size();
    names += std::string(".shstrtab") + '\0';
    const std::size_t blockName = names.size();
    names += std::string(PXMISC_VERSION_SECTION) + '\0';
    static const char block[] = PXMISC_VERSION_MAGIC "\0" MISC_TEST_VERSION_ENTRIES;

    Bytes bytes(headerBytes);
    const std::size_t namesOffset = bytes.size();
    bytes.insert(bytes.end(), names.begin(), names.end());
    const std::size_t blockOffset = bytes.size();
    bytes.insert(bytes.end(), std::begin(block), std::end(block));
    const std::size_t tableOffset = bytes.size();
    bytes.resize(tableOffset + 3 * entryBytes);

    const auto put = [&bytes, bigEndian](std::size_t offset, std::size_t width,
                                         std::uint64_t value) {
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t shift = 8 * (bigEndian ? width - 1 - i : i);
            bytes[offset + i] = static_cast<unsigned char>(value >> shift);
        }
    };
    bytes[EI_MAG0] = ELFMAG0;
    bytes[EI_MAG1] = ELFMAG1;
    bytes[EI_MAG2] = ELFMAG2;
    bytes[EI_MAG3] = ELFMAG3;
    bytes[EI_CLASS] = is64 ? ELFCLASS64 : ELFCLASS32;
    bytes[EI_DATA] = bigEndian ? ELFDATA2MSB : ELFDATA2LSB;
    bytes[EI_VERSION] = EV_CURRENT;
#define MISC_TEST_PUT(type, field, value) put(offsetof(type, field), sizeof(type::field), value)
#define MISC_TEST_PUT_SECTION(type, index, field, value)                                           \
    put(tableOffset + (index)*entryBytes + offsetof(type, field), sizeof(type::field), value)
    const std::uint64_t count = extendedNumbering ? 0 : 3;
    const std::uint64_t namesIndex = extendedNumbering ? SHN_XINDEX : 1;
    if (is64) {
        MISC_TEST_PUT(Elf64_Ehdr, e_shoff, tableOffset);
        MISC_TEST_PUT(Elf64_Ehdr, e_shentsize, entryBytes);
        MISC_TEST_PUT(Elf64_Ehdr, e_shnum, count);
        MISC_TEST_PUT(Elf64_Ehdr, e_shstrndx, namesIndex);
    } else {
        MISC_TEST_PUT(Elf32_Ehdr, e_shoff, tableOffset);
        MISC_TEST_PUT(Elf32_Ehdr, e_shentsize, entryBytes);
        MISC_TEST_PUT(Elf32_Ehdr, e_shnum, count);
        MISC_TEST_PUT(Elf32_Ehdr, e_shstrndx, namesIndex);
    }
    const struct {
        std::uint64_t name, type, offset, size, link;
    } sections[] = {
        {0, SHT_NULL, 0, extendedNumbering ? 3u : 0u, extendedNumbering ? 1u : 0u},
        {namesName, SHT_STRTAB, namesOffset, names.size(), 0},
        {blockName, SHT_PROGBITS, blockOffset, sizeof block, 0},
    };
    for (std::size_t i = 0; i < std::size(sections); ++i) {
        if (is64) {
            MISC_TEST_PUT_SECTION(Elf64_Shdr, i, sh_name, sections[i].name);
            MISC_TEST_PUT_SECTION(Elf64_Shdr, i, sh_type, sections[i].type);
            MISC_TEST_PUT_SECTION(Elf64_Shdr, i, sh_offset, sections[i].offset);
            MISC_TEST_PUT_SECTION(Elf64_Shdr, i, sh_size, sections[i].size);
            MISC_TEST_PUT_SECTION(Elf64_Shdr, i, sh_link, sections[i].link);
        } else {
            MISC_TEST_PUT_SECTION(Elf32_Shdr, i, sh_name, sections[i].name);
            MISC_TEST_PUT_SECTION(Elf32_Shdr, i, sh_type, sections[i].type);
            MISC_TEST_PUT_SECTION(Elf32_Shdr, i, sh_offset, sections[i].offset);
            MISC_TEST_PUT_SECTION(Elf32_Shdr, i, sh_size, sections[i].size);
            MISC_TEST_PUT_SECTION(Elf32_Shdr, i, sh_link, sections[i].link);
        }
    }
#undef MISC_TEST_PUT_SECTION
#undef MISC_TEST_PUT
    return bytes;
}

TEST_F(MiscFuncFiles, EveryClassAndByteOrder) {
    const struct {
        bool is64;
        bool bigEndian;
        bool extendedNumbering;
    } rows[] = {
        {true, false, false}, {true, true, false}, {false, false, false},
        {false, true, false}, {true, false, true}, {false, true, true},
    };
    const fs::path file = Path("built");
    for (const auto& row : rows) {
        const Bytes bytes = BuildElf(row.is64, row.bigEndian, row.extendedNumbering);
        WriteAll(file, bytes);
        EXPECT_EQ(CMiscFunc::GetAppVersion(file.c_str(), "ProductVersion"), "1.00")
            << (row.is64 ? "ELF64 " : "ELF32 ") << (row.bigEndian ? "MSB" : "LSB")
            << (row.extendedNumbering ? " extended" : "");
        // Each shorter file loses the section table at its end.
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            fs::resize_file(file, length);
            ASSERT_EQ(CMiscFunc::GetAppVersion(file.c_str(), "ProductVersion"), "") << length;
        }
    }
}

} // namespace
