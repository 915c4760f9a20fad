#include "TestSources.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

namespace orvanta::test {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

struct TracedRun {
    int exitCode = -1;
    std::string err;
    std::string loaded; // the dynamic loader's account of every library it opened
};

// Runs `program` in `dir` with the loader's library trace on.
TracedRun RunTraced(const TempDir& dir, const std::string& program, const std::string& arguments) {
    const std::string trace = dir.Path("trace");
    const std::string command = "cd '" + dir.Path("") + "' && LD_DEBUG=libs LD_DEBUG_OUTPUT='" +
                                trace + "' '" + program + "' " + arguments + " >/dev/null 2>err";
    const int status = std::system(command.c_str());
    TracedRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(dir.Path("err")), ""};
    for (const auto& entry : fs::directory_iterator(dir.Path(""))) {
        if (entry.path().filename().string().starts_with("trace.")) {
            run.loaded += ReadText(entry.path());
            fs::remove(entry.path());
        }
    }
    return run;
}

bool Loads(const TracedRun& run, const char* library) {
    return run.loaded.find(std::string("library=") + library) != std::string::npos;
}

// The engine's commands start without Qt and GStreamer; an Ogg brings GStreamer alone, "play" both.
// A copy of
// the program without its modules still runs those commands, and refuses the others clearly.
TEST(ModuleLoading, QtAndGStreamerLoadOnlyForTheCommandsThatNeedThem) {
    const struct {
        bool alone; // the program copied away from its modules
        const char* arguments;
        int exitCode;
        bool gstreamer;
        bool qt;
        const char* error;
    } cases[] = {
        {false, "--help", 0, false, false, ""},
        {false, "encode ring.wav out.mp3", 0, false, false, ""},
        {false, "cut ring.wav cut.wav 0 2000", 0, false, false, ""},
        {false, "encode --format ogg ring.wav out.ogg", 0, true, false, ""},
        {false, "play none.wav", 1, true, true, "none.wav"},
        {true, "encode ring.wav out.mp3", 0, false, false, ""},
        {true, "encode --format ogg ring.wav out.ogg", 1, false, false,
         "orvanta-cli-gst.so is missing"},
        {true, "play ring.wav", 1, false, false,
         "cannot play: the module orvanta-cli-play.so is missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.alone ? "alone: " : "") + c.arguments);
        const TempDir dir;
        WriteBytes(dir.Path("ring.wav"), MakeWav16(MusicSamples(1, 22050, 22050 * 3), 1, 22050));
        std::string program = ORVANTA_CLI_PATH;
        if (c.alone) {
            program = dir.Path("orvanta-cli");
            fs::copy_file(ORVANTA_CLI_PATH, program);
        }
        const TracedRun run = RunTraced(dir, program, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        ASSERT_NE(run.loaded.find("library="), std::string::npos) << "no loader trace";
        EXPECT_EQ(Loads(run, "libgstreamer-1.0"), c.gstreamer);
        EXPECT_EQ(Loads(run, "libQt6Core"), c.qt);
    }
}

} // namespace
} // namespace orvanta::test
