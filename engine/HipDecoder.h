#pragma once

#include <cstddef>
#include <lame/lame.h>

namespace orvanta {

struct HipLibrary;

// One MPEG decoder of LAME's: the frames it has buffered, the bit reservoir, the stream's tag.
//
// LAME's decoder hands every decoded frame through one static buffer of the library, so two
// decoders of one loaded library must never decode at the same time. Each decoder therefore
// holds one loaded copy of the library for itself while it lives: the one the program links,
// or a private copy loaded from the temporary folder while another decoder holds that one.
// When no copy can be loaded, a new decoder waits until one is free.
class HipDecoder {
public:
    HipDecoder() = default;
    ~HipDecoder();
    HipDecoder(const HipDecoder&) = delete;
    HipDecoder& operator=(const HipDecoder&) = delete;

    // Replaces any decoder held with a new one whose messages go to the engine's log; false
    // when LAME gave none.
    bool Start();
    // Start, but false at once where Start would wait for a free copy of the library: a helper
    // decoder that cannot start is no reason to hold up the decode that wanted it.
    bool TryStart();
    // A new decoder on the copy already held, as Start makes one.
    bool Restart();
    void Stop();
    // Silences the decoder's messages, or hands them to the log again: frames decoded only to
    // bring a decoder into step would otherwise report what the decode proper reports too.
    void SetQuiet(bool quiet);
    void Swap(HipDecoder& other) noexcept;
    explicit operator bool() const { return m_decoder != nullptr; }

    // hip_decode1_headersB of the held library copy.
    int Decode(unsigned char* bytes, std::size_t count, short left[], short right[],
               mp3data_struct* facts, int* delay, int* padding);

private:
    HipLibrary* m_library = nullptr;
    hip_t m_decoder = nullptr;
};

} // namespace orvanta
