#include "CAttribMedia.h"

#include <gtest/gtest.h>

namespace orvanta {

namespace {

std::vector<uint8_t> Archived(const CAttribMedia& media) {
    ArchiveWriter writer;
    media.Serialize(writer);
    return writer.Bytes();
}

TEST(CAttribMediaTest, ArchiveHoldsBaseIntegerPathAndDurationLittleEndian) {
    CAttribMedia media("/t/a.wav");
    media.SetDuration(0x01020304);
    const std::vector<uint8_t> expected{1,   0,   0,   0,   8,   0,   0, 0, '/', 't',
                                        '/', 'a', '.', 'w', 'a', 'v', 4, 3, 2,   1};
    EXPECT_EQ(Archived(media), expected);
    EXPECT_STREQ(media.GetRuntimeClassName(), "CAttribMedia");
    EXPECT_STREQ(media.CObjBase::GetRuntimeClassName(), "CObjBase");
}

TEST(CAttribMediaTest, RoundTripsAnyPathAndDuration) {
    const struct {
        std::string path;
        int32_t duration;
    } rows[] = {{"", 0},
                {"/music/Été – 夏.wav", 123456},
                {std::string(70000, 'x'), INT32_MAX},
                {"/n.wav", INT32_MIN}};
    for (const auto& row : rows) {
        CAttribMedia original(row.path);
        original.SetDuration(row.duration);
        const std::vector<uint8_t> bytes = Archived(original);
        CAttribMedia copy;
        ArchiveReader reader(bytes);
        ASSERT_TRUE(copy.Deserialize(reader));
        EXPECT_EQ(copy.GetPath(), row.path);
        EXPECT_EQ(copy.GetDuration(), row.duration);
        EXPECT_EQ(copy.GetBaseValue(), 1);
        EXPECT_EQ(reader.Remaining(), 0u);
    }
}

TEST(CAttribMediaTest, ADamagedArchiveFailsAndLeavesTheRecordAsItWas) {
    CAttribMedia source("/a/b.wav");
    source.SetDuration(500);
    const std::vector<uint8_t> good = Archived(source);
    std::vector<uint8_t> overlong = good;
    overlong[4] = 0xFF; // the path's length runs past the data
    std::vector<uint8_t> huge = good;
    huge[7] = 0x80; // a length that is negative as a signed number
    const std::vector<std::vector<uint8_t>> damaged{
        {}, {1, 0, 0}, std::vector<uint8_t>(good.begin(), good.end() - 1), overlong, huge};
    for (const std::vector<uint8_t>& bytes : damaged) {
        CAttribMedia record("/kept.wav");
        record.SetDuration(42);
        ArchiveReader reader(bytes);
        EXPECT_FALSE(record.Deserialize(reader)) << bytes.size() << " bytes";
        EXPECT_EQ(record.GetPath(), "/kept.wav");
        EXPECT_EQ(record.GetDuration(), 42);
    }
}

} // namespace

} // namespace orvanta
