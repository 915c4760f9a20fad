// Writes the fuzzer's seeds: small valid files of every format the engine reads, each behind
// the byte that chooses its extension, so the search starts from inputs that decode.
//
// Usage: orvanta_fuzz_seeds FOLDER

#include "FuzzInput.h"
#include "TestSources.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using orvanta::test::Bytes;
using orvanta::test::PcmSignal;

struct Seed {
    std::string name;
    std::string_view extension;
    Bytes bytes;
};

Bytes AlbumIdThen(const Bytes& audio) {
    Bytes out{0x41, 0x69, 0x44, 0x01, 6, 0};
    out.insert(out.end(), audio.begin(), audio.end());
    return out;
}

std::vector<Seed> Seeds() {
    using namespace orvanta::test;
    // Few frames each: small seeds keep every execution short.
    const PcmSignal stereo16{2, 44100, 16, 300};
    const PcmSignal mono8{1, 22050, 8, 300};
    const PcmSignal stereo24{2, 48000, 24, 200};
    const PcmSignal mono32{1, 8000, 32, 200};

    WavOptions extensible;
    extensible.extensible = true;
    WavOptions lists;
    lists.listChunksBeforeFmt = 1;
    lists.listChunksBeforeData = 1;
    lists.oddListChunks = true;
    WavOptions dataFirst;
    dataFirst.dataBeforeFmt = true;

    AiffOptions aifc;
    aifc.aifc = true;
    AiffOptions sowt;
    sowt.aifc = true;
    sowt.compression = "sowt";
    AiffOptions ssndFirst;
    ssndFirst.ssndBeforeComm = true;
    AiffOptions offset;
    offset.ssndOffset = 8;

    const Bytes mp3 = EncodeMp3(MusicSamples(2, 44100, 4410), 2, 44100, 128);
    const Bytes mp3Mono = EncodeMp3(MusicSamples(1, 22050, 2205), 1, 22050, 32);
    const Bytes mp3Low = EncodeMp3(MusicSamples(1, 8000, 1600), 1, 8000, 16);
    const Bytes mp3Plain = EncodeMp3(MusicSamples(2, 32000, 3200), 2, 32000, 64, false);
    const Bytes layer1 = MakeLayer1Stream(2, 4);
    const Bytes layer1Mono = MakeLayer1Stream(1, 4);
    // Enough small frames within the input limit for a decode split into pieces.
    const Bytes mp3Frames = EncodeMp3(MusicSamples(1, 8000, 16000), 1, 8000, 8);
    const Bytes layer1Frames = MakeLayer1Stream(1, 20);

    return {
        {"wav-16-stereo", ".wav", MakeWav(stereo16)},
        {"wav-8-mono", ".wav", MakeWav(mono8)},
        {"wav-24-stereo", ".wav", MakeWav(stereo24)},
        {"wav-32-mono", ".wav", MakeWav(mono32)},
        {"wav-extensible", ".wav", MakeWav(stereo16, extensible)},
        {"wav-list-chunks", ".wav", MakeWav(mono8, lists)},
        {"wav-data-before-fmt", ".wav", MakeWav(mono8, dataFirst)},
        {"wav-by-content", ".dat", MakeWav(stereo16)},
        {"aiff-16-stereo", ".aif", MakeAiff(stereo16)},
        {"aiff-8-mono", ".aif", MakeAiff(mono8)},
        {"aiff-24-stereo", ".aif", MakeAiff(stereo24)},
        {"aifc-none", ".aif", MakeAiff(stereo16, aifc)},
        {"aifc-sowt", ".aif", MakeAiff(mono32, sowt)},
        {"aiff-ssnd-first", ".aif", MakeAiff(mono8, ssndFirst)},
        {"aiff-ssnd-offset", ".aif", MakeAiff(stereo16, offset)},
        {"aiff-by-content", ".dat", MakeAiff(stereo16)},
        {"raw", ".raw", MakeRawPcm(stereo16)},
        {"mp3-tagged", ".mp3", mp3},
        {"mp3-mpeg2-mono", ".mp3", mp3Mono},
        {"mp3-mpeg25-mono", ".mp3", mp3Low},
        {"mp3-untagged", ".mp2", mp3Plain},
        {"mp3-id3v2", ".mp3", WithId3v2(mp3, 24)},
        {"mp3-album-id", ".mp3", AlbumIdThen(mp3Plain)},
        {"mp3-after-junk", ".mp3", WithJunk(mp3Mono, 40)},
        {"layer1-stereo", ".mp2", layer1},
        {"layer1-mono", ".mp3", layer1Mono},
        {"mp3-many-frames", ".mp3", mp3Frames},
        {"layer1-many-frames", ".mp2", layer1Frames},
    };
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    try {
        const std::filesystem::path folder(argv[1]);
        std::filesystem::create_directories(folder);
        int written = 0;
        for (const Seed& seed : Seeds()) {
            Bytes input{orvanta::fuzz::SelectorFor(seed.extension)};
            input.insert(input.end(), seed.bytes.begin(), seed.bytes.end());
            orvanta::test::WriteBytes((folder / seed.name).string(), input);
            ++written;
        }
        std::printf("%d seeds in %s\n", written, folder.c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
