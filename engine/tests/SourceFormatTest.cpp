#include "SourceFormat.h"

#include <cctype>
#include <gtest/gtest.h>
#include <string>

namespace orvanta {
namespace {

struct ExtensionCase {
    const char* path;
    SourceFormat expected;
};

class FormatFromExtensionTest : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(FormatFromExtensionTest, JudgesByTheLastFourCharacters) {
    EXPECT_EQ(FormatFromExtension(GetParam().path), GetParam().expected) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Table, FormatFromExtensionTest,
                         ::testing::Values(ExtensionCase{"x.mp3", SourceFormat::MpegAny},
                                           ExtensionCase{"X.MP3", SourceFormat::MpegAny},
                                           ExtensionCase{"a/b.Mp2", SourceFormat::MpegAny},
                                           ExtensionCase{"clip.mp1", SourceFormat::MpegAny},
                                           ExtensionCase{"video.mpg", SourceFormat::MpegAny},
                                           ExtensionCase{"song.wav", SourceFormat::Wave},
                                           ExtensionCase{"song.WAV", SourceFormat::Wave},
                                           ExtensionCase{"song.aif", SourceFormat::Aiff},
                                           ExtensionCase{"song.AIFF", SourceFormat::None},
                                           ExtensionCase{"song.aifc", SourceFormat::None},
                                           ExtensionCase{"song.raw", SourceFormat::RawPcm},
                                           ExtensionCase{"song.ogg", SourceFormat::Vorbis},
                                           ExtensionCase{"song.mpeg", SourceFormat::None},
                                           ExtensionCase{"song.dat", SourceFormat::None},
                                           ExtensionCase{".wav", SourceFormat::Wave},
                                           ExtensionCase{"a.b", SourceFormat::None},
                                           ExtensionCase{"", SourceFormat::None},
                                           ExtensionCase{"mp3", SourceFormat::None}),
                         [](const ::testing::TestParamInfo<ExtensionCase>& row) {
                             std::string name = "Path" + std::to_string(row.index) + "_";
                             for (const char* c = row.param.path; *c != '\0'; ++c) {
                                 name +=
                                     std::isalnum(static_cast<unsigned char>(*c)) != 0 ? *c : '_';
                             }
                             return name;
                         });

TEST(MpegFamilyTest, OnlyMpegFormatsUseTheDecoder) {
    EXPECT_EQ(MpegFamily(SourceFormat::MpegLayer1), 1);
    EXPECT_EQ(MpegFamily(SourceFormat::MpegLayer2), 2);
    EXPECT_EQ(MpegFamily(SourceFormat::MpegLayer3), 3);
    EXPECT_EQ(MpegFamily(SourceFormat::MpegAny), -1);
    for (const auto format : {SourceFormat::None, SourceFormat::RawPcm, SourceFormat::Wave,
                              SourceFormat::Aiff, SourceFormat::Vorbis}) {
        EXPECT_EQ(MpegFamily(format), 0);
    }
}

} // namespace
} // namespace orvanta
