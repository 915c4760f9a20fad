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

// The first 16 bytes of a file, where each format's signature lies.
std::string Start(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(),
                       bytes.begin() + std::min<std::ptrdiff_t>(16, std::ssize(bytes)));
}

// Each run starts from a song, a ringtone WAV and a previous M4R: whatever is refused leaves
// that M4R as it was. "@" stands for the test's folder.
TEST(FormatOption, WritesTheChosenFormatOrRefusesBeforeAnyWork) {
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        const char* error;
        const char* output; // and its signature; none for a refusal
        const char* signature;
    } cases[] = {
        {{"make", "@song.wav", "--format", "m4r"}, 0, "", "song_ringtone.m4r", "ftypM4A "},
        {{"make", "@song.wav", "--format", "ogg", "--stereo"}, 0, "", "song_ringtone.ogg", "OggS"},
        {{"encode", "@ring.wav", "@song_ringtone.ogg", "--format", "ogg"},
         0,
         "",
         "song_ringtone.ogg",
         "OggS"},
        {{"make", "@song.wav", "--format", "aac"}, 2, "--format takes mp3, m4r or ogg", "", ""},
        {{"encode", "@ring.wav", "@x.m4r", "--format", "M4R"}, 2, "mp3, m4r or ogg", "", ""},
        {{"make", "@song.wav", "--format", "m4r", "--end", "40001"},
         2,
         "at most 40 seconds",
         "",
         ""},
        {{"encode", "@song.wav", "@x.m4r", "--format", "m4r"}, 1, "at most 40 seconds", "", ""},
    };
    for (const auto& c : cases) {
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
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        const bool replacesOld = std::string(c.output) == "song_ringtone.m4r";
        if (*c.output != '\0') {
            EXPECT_NE(Start(dir.Path(c.output)).find(c.signature), std::string::npos);
        }
        EXPECT_EQ(Start(dir.Path("song_ringtone.m4r")) == "old", !replacesOld);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path("")), fs::directory_iterator()),
                  c.exitCode == 0 && !replacesOld ? 4 : 3);
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
