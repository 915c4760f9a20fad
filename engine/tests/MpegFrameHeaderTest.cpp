#include "MpegFrameHeader.h"

#include <array>
#include <gtest/gtest.h>

namespace orvanta {
namespace {

struct HeaderCase {
    const char* name;
    std::array<uint8_t, 4> bytes;
    SourceFormat before;
    bool valid;
    SourceFormat after;
};

class FrameHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(FrameHeaderTest, AcceptsPlausibleHeadersAndLocksTheirLayer) {
    const HeaderCase& c = GetParam();
    SourceFormat format = c.before;
    EXPECT_EQ(IsValidFrameHeader(c.bytes, format), c.valid);
    EXPECT_EQ(format, c.after);
}

constexpr auto kAny = SourceFormat::MpegAny;
constexpr auto kL1 = SourceFormat::MpegLayer1;
constexpr auto kL2 = SourceFormat::MpegLayer2;
constexpr auto kL3 = SourceFormat::MpegLayer3;

INSTANTIATE_TEST_SUITE_P(
    Headers, FrameHeaderTest,
    ::testing::Values(
        HeaderCase{"Layer3At128k", {0xFF, 0xFB, 0x90, 0x44}, kAny, true, kL3},
        HeaderCase{"Layer2At192k", {0xFF, 0xFD, 0xA4, 0x04}, kAny, true, kL2},
        HeaderCase{"Layer1At192k", {0xFF, 0xFF, 0x64, 0x00}, kAny, true, kL1},
        HeaderCase{"Mpeg2Layer3", {0xFF, 0xF3, 0x80, 0xC4}, kAny, true, kL3},
        HeaderCase{"Mpeg25Layer3", {0xFF, 0xE3, 0x10, 0xC4}, kAny, true, kL3},
        HeaderCase{"FreeFormat", {0xFF, 0xFB, 0x00, 0x44}, kAny, true, kL3},
        HeaderCase{"NoSync", {0xFF, 0x7B, 0x90, 0x44}, kAny, false, kAny},
        HeaderCase{"NotFF", {0xFE, 0xFB, 0x90, 0x44}, kAny, false, kAny},
        HeaderCase{"ReservedVersion", {0xFF, 0xEB, 0x90, 0x44}, kAny, false, kAny},
        HeaderCase{"ReservedLayer", {0xFF, 0xF9, 0x90, 0x44}, kAny, false, kAny},
        HeaderCase{"BadBitrate", {0xFF, 0xFB, 0xF0, 0x44}, kAny, false, kAny},
        HeaderCase{"ReservedRate", {0xFF, 0xFB, 0x9C, 0x44}, kAny, false, kAny},
        HeaderCase{"ReservedEmphasis", {0xFF, 0xFB, 0x90, 0x46}, kAny, false, kAny},
        // A refused header must not decide the layer: FF FF FF FF looks like layer I at first.
        HeaderCase{"AllOnesLocksNothing", {0xFF, 0xFF, 0xFF, 0xFF}, kAny, false, kAny},
        // MPEG-1 layer II: 32 kbps allows only mono; 224 kbps and up refuse mono.
        HeaderCase{"Layer2StereoAt32k", {0xFF, 0xFD, 0x14, 0x04}, kAny, false, kAny},
        HeaderCase{"Layer2MonoAt32k", {0xFF, 0xFD, 0x14, 0xC4}, kAny, true, kL2},
        HeaderCase{"Layer2MonoAt224k", {0xFF, 0xFD, 0xB4, 0xC4}, kAny, false, kAny},
        HeaderCase{"Layer2DualAt224k", {0xFF, 0xFD, 0xB4, 0x84}, kAny, true, kL2},
        HeaderCase{"LockedLayerRefusesAnother", {0xFF, 0xFD, 0xA4, 0x04}, kL3, false, kL3},
        HeaderCase{"LockedLayerAcceptsItself", {0xFF, 0xFB, 0x90, 0x44}, kL3, true, kL3}),
    [](const ::testing::TestParamInfo<HeaderCase>& row) { return std::string(row.param.name); });

} // namespace
} // namespace orvanta
