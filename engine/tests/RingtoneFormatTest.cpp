#include "RingtoneFormat.h"

#include <gtest/gtest.h>

namespace orvanta::test {
namespace {

// A path the save dialog returned may carry any format's extension, or none: the ringtone's
// own extension replaces a ringtone extension and is added otherwise, never doubled.
TEST(RingtoneFormatTest, PathsTakeTheFormatsExtension) {
    const struct {
        const char* path;
        RingtoneFormat format;
        const char* expected;
    } cases[] = {
        {"/m/Song_ringtone.mp3", RingtoneFormat::M4r, "/m/Song_ringtone.m4r"},
        {"/m/Song_ringtone.m4r", RingtoneFormat::M4r, "/m/Song_ringtone.m4r"},
        {"/m/Song_ringtone.ogg", RingtoneFormat::Mp3, "/m/Song_ringtone.mp3"},
        {"/m/Song", RingtoneFormat::Ogg, "/m/Song.ogg"},
        {"/m/Song.wav", RingtoneFormat::Mp3, "/m/Song.wav.mp3"},
        {"/m.d/Song", RingtoneFormat::Mp3, "/m.d/Song.mp3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RingtonePathFor(c.path, c.format), c.expected) << c.path;
    }
}

} // namespace
} // namespace orvanta::test
