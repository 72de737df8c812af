#pragma once
// Reading and writing RIFF WAVE files for the demo: 16-bit, 24-bit or float input, float output.
#include <cstdint>
#include <string>
#include <vector>

namespace ovstandin {

struct WavAudio {
    std::uint32_t sample_rate = 48000;
    std::vector<std::vector<float>> channels;  // planar samples
};

// False and `error` when the file cannot be read or is not PCM 16/24/32-bit or float 32-bit.
bool read_wav(const std::string& path, WavAudio& audio, std::string& error);
bool write_wav(const std::string& path, const WavAudio& audio, std::string& error);

}  // namespace ovstandin
