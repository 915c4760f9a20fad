#include "CliRunner.h"
#include "GstRingtoneEncoder.h"
#include "TestSources.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace orvanta::test {
namespace {

namespace fs = std::filesystem;

std::string Head(const std::string& path, std::size_t offset, std::size_t length) {
    const Bytes bytes = fs::exists(path) ? ReadBytes(path) : Bytes{};
    return bytes.size() < offset + length
               ? ""
               : std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                             bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

struct FormatCase {
    std::vector<std::string> arguments; // "@" stands for the test's folder
    int exitCode;
    const char* errorPart;
    const char* output;  // expected in the folder, "" for none
    std::size_t magicAt; // where the output's signature starts
    const char* magic;
};

// Each run starts from a song, its ringtone WAV and a previous M4R: whatever is refused leaves
// that M4R as it was.
TEST(FormatOption, WritesTheChosenFormatOrRefusesBeforeAnyWork) {
    const FormatCase cases[] = {
        {{"make", "@song.wav", "--format", "m4r"}, 0, "", "song_ringtone.m4r", 4, "ftypM4A "},
        {{"make", "@song.wav", "--format", "ogg", "--stereo"},
         0,
         "",
         "song_ringtone.ogg",
         0,
         "OggS"},
        {{"encode", "@ring.wav", "@song_ringtone.ogg", "--format", "ogg"},
         0,
         "",
         "song_ringtone.ogg",
         0,
         "OggS"},
        {{"make", "@song.wav", "--format", "aac"}, 2, "--format takes mp3, m4r or ogg", "", 0, ""},
        {{"encode", "@ring.wav", "@x.m4r", "--format", "M4R"}, 2, "mp3, m4r or ogg", "", 0, ""},
        {{"make", "@song.wav", "--format", "m4r", "--start", "1000", "--end", "41001"},
         2,
         "at most 40 seconds",
         "",
         0,
         ""},
        {{"encode", "@song.wav", "@x.m4r", "--format", "m4r"}, 1, "at most 40 seconds", "", 0, ""},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments.back());
        const TempDir dir;
        WriteBytes(dir.Path("song.wav"), MakeWav16(MusicSamples(2, 44100, 45 * 44100), 2, 44100));
        WriteBytes(dir.Path("ring.wav"), MakeWav16(MusicSamples(1, 22050, 22050 * 2), 1, 22050));
        WriteBytes(dir.Path("song_ringtone.m4r"), {'o', 'l', 'd'});
        std::vector<std::string> arguments;
        for (const std::string& argument : c.arguments) {
            arguments.push_back(argument[0] == '@' ? dir.Path(argument.substr(1)) : argument);
        }
        const CliRun run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.errorPart), std::string::npos) << run.err;
        if (*c.output != '\0') {
            EXPECT_EQ(Head(dir.Path(c.output), c.magicAt, std::string(c.magic).size()), c.magic);
        }
        if (std::string(c.output) != "song_ringtone.m4r") {
            EXPECT_EQ(Head(dir.Path("song_ringtone.m4r"), 0, 3), "old");
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path("")), fs::directory_iterator()),
                  c.exitCode == 0 && std::string(c.output) != "song_ringtone.m4r" ? 4 : 3);
    }
}

// A write that fails mid-encode (here: the file size limit, as a full disk would) leaves no
// file and names the reason.
TEST(FormatOption, FailedWriteLeavesNoFileAndNamesTheReason) {
    for (const char* format : {"m4r", "ogg"}) {
        const TempDir dir;
        WriteBytes(dir.Path("ring.wav"), MakeWav16(MusicSamples(2, 44100, 44100 * 20), 2, 44100));
        const std::string command =
            "bash -c 'ulimit -f 64; trap \"\" XFSZ; exec \"$0\" encode \"$1\" "
            "\"$2\" --stereo --format " +
            std::string(format) + " 2>&1' " + ORVANTA_CLI_PATH + " " + dir.Path("ring.wav") + " " +
            dir.Path("out");
        std::string output;
        std::FILE* pipe = ::popen(command.c_str(), "r");
        for (int c = 0; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;) {
            output += static_cast<char>(c);
        }
        const int status = pipe != nullptr ? ::pclose(pipe) : -1;
        EXPECT_EQ(WEXITSTATUS(status), 1) << output;
        EXPECT_NE(output.find("File too large"), std::string::npos) << output;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path("")), fs::directory_iterator()), 1);
    }
}

// With no GStreamer plug-ins at all, the M4R and the Ogg fail in the words the edit page shows
// beside them; the MP3 needs none.
TEST(FormatOption, MissingPluginsFailInTheWordsThePageShows) {
    const TempDir dir;
    fs::create_directory(dir.Path("no-plugins"));
    ::setenv("GST_PLUGIN_SYSTEM_PATH_1_0", dir.Path("no-plugins").c_str(), 1);
    ::setenv("GST_PLUGIN_PATH_1_0", dir.Path("no-plugins").c_str(), 1);
    ::setenv("GST_REGISTRY_1_0", dir.Path("registry.bin").c_str(), 1);
    WriteBytes(dir.Path("ring.wav"), MakeWav16(MusicSamples(1, 44100, 4410), 1, 44100));
    const struct {
        const char* format;
        MissingElements missing;
    } cases[] = {{"m4r",
                  {"avenc_aac, mp4mux, appsrc, audioconvert, audioresample, capsfilter, fdsink",
                   "gstreamer1.0-libav, gstreamer1.0-plugins-good, gstreamer1.0-plugins-base, "
                   "libgstreamer1.0-0"}},
                 {"ogg",
                  {"vorbisenc, oggmux, appsrc, audioconvert, audioresample, capsfilter, fdsink",
                   "gstreamer1.0-plugins-base, libgstreamer1.0-0"}}};
    for (const auto& c : cases) {
        const std::string output = dir.Path(std::string("out.") + c.format);
        const CliRun run = RunCli({"encode", dir.Path("ring.wav"), output, "--format", c.format});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err,
                  "orvanta-cli: " + output + ": " + DescribeMissingElements(c.missing) + "\n");
        EXPECT_FALSE(fs::exists(output));
    }
    EXPECT_EQ(RunCli({"encode", dir.Path("ring.wav"), dir.Path("out.mp3")}).exitCode, 0);
    for (const char* name :
         {"GST_PLUGIN_SYSTEM_PATH_1_0", "GST_PLUGIN_PATH_1_0", "GST_REGISTRY_1_0"}) {
        ::unsetenv(name);
    }
}

} // namespace
} // namespace orvanta::test
