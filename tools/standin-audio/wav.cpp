#include "wav.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace ovstandin {
namespace {

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

}  // namespace

bool read_wav(const std::string& path, WavAudio& audio, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = path + " is not a WAVE file";
        return false;
    }
    std::uint16_t format = 0, channels = 0, bits = 0;
    bool have_format = false;
    for (std::size_t pos = 12; pos + 8 <= bytes.size();) {
        const std::uint32_t size = le32(bytes.data() + pos + 4);
        const unsigned char* body = bytes.data() + pos + 8;
        const std::size_t available = bytes.size() - pos - 8;
        const std::size_t length = size < available ? size : available;
        if (std::memcmp(bytes.data() + pos, "fmt ", 4) == 0 && length >= 16) {
            format = le16(body);
            channels = le16(body + 2);
            audio.sample_rate = le32(body + 4);
            bits = le16(body + 14);
            if (format == 0xFFFE && length >= 26) format = le16(body + 24);  // extensible: sub-format
            have_format = true;
        } else if (std::memcmp(bytes.data() + pos, "data", 4) == 0 && have_format) {
            const bool supported = (format == 1 && (bits == 16 || bits == 24 || bits == 32)) || (format == 3 && bits == 32);
            if (!supported || channels == 0) {
                error = path + ": only PCM 16/24/32-bit and float 32-bit are supported";
                return false;
            }
            const std::size_t step = bits / 8u;
            const std::size_t frames = length / (step * channels);
            audio.channels.assign(channels, std::vector<float>(frames));
            for (std::size_t f = 0; f < frames; ++f)
                for (std::size_t c = 0; c < channels; ++c) {
                    const unsigned char* p = body + (f * channels + c) * step;
                    float x = 0;
                    if (format == 3) {
                        std::uint32_t raw = le32(p);
                        std::memcpy(&x, &raw, 4);
                    } else if (bits == 16) {
                        x = static_cast<float>(static_cast<std::int16_t>(le16(p))) / 32768.0f;
                    } else if (bits == 24) {
                        std::int32_t v = static_cast<std::int32_t>((p[0] << 8) | (p[1] << 16) | (std::uint32_t(p[2]) << 24)) >> 8;
                        x = static_cast<float>(v) / 8388608.0f;
                    } else {
                        x = static_cast<float>(static_cast<double>(static_cast<std::int32_t>(le32(p))) / 2147483648.0);
                    }
                    audio.channels[c][f] = x;
                }
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    error = path + " has no audio data";
    return false;
}

bool write_wav(const std::string& path, const WavAudio& audio, std::string& error) {
    const auto channels = static_cast<std::uint16_t>(audio.channels.size());
    const std::size_t frames = channels ? audio.channels[0].size() : 0;
    const auto data_bytes = static_cast<std::uint32_t>(frames * channels * 4);
    std::string out;
    out += "RIFF";
    put32(out, 36 + data_bytes);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 3);  // IEEE float
    put16(out, channels);
    put32(out, audio.sample_rate);
    put32(out, audio.sample_rate * channels * 4);
    put16(out, static_cast<std::uint16_t>(channels * 4));
    put16(out, 32);
    out += "data";
    put32(out, data_bytes);
    for (std::size_t f = 0; f < frames; ++f)
        for (std::size_t c = 0; c < channels; ++c) {
            std::uint32_t raw;
            std::memcpy(&raw, &audio.channels[c][f], 4);
            put32(out, raw);
        }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.write(out.data(), static_cast<std::streamsize>(out.size()))) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace ovstandin
