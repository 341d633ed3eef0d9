#pragma once

// A 16-channel tracker module of the dense benchmark song's shape, for a peer player to render beside
// our export: 27 passes of 64-row patterns at 140 bpm (speed 6, so a row lasts as long as a sixteenth
// of the song), a note on most rows of every channel, looped single-cycle waves and decaying one-shots,
// and effect columns (arpeggio, vibrato, volume slide, retrigger, note delay, panning) on a quarter of
// the notes. Written in the classic four-byte-per-cell module layout with the "16CH" channel tag.

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace veltrane::benchmarks {

inline bool writeDenseModule(const std::filesystem::path& path)
{
    constexpr int channels = 16;
    constexpr int rows = 64;
    constexpr int patterns = 4;
    constexpr int orders = 27;
    std::vector<std::uint8_t> bytes;
    const auto put16 = [&](int value) {
        bytes.push_back(std::uint8_t(value >> 8));
        bytes.push_back(std::uint8_t(value));
    };

    // Eight instruments: four looped waves (sine, saw, square, triangle) and four one-shots.
    constexpr int waveLength = 64;
    constexpr int shotLength = 4000;
    std::array<std::vector<std::int8_t>, 8> samples;
    for (std::size_t s = 0; s < samples.size(); ++s) {
        const bool looped = s < 4;
        const int length = looped ? waveLength : shotLength;
        for (int i = 0; i < length; ++i) {
            const double x = double(i % waveLength) / waveLength;
            double value = 0;
            switch (s % 4) {
            case 0: value = std::sin(2 * M_PI * x); break;
            case 1: value = 2 * x - 1; break;
            case 2: value = x < 0.5 ? 1 : -1; break;
            case 3: value = 1 - 4 * std::abs(std::round(x) - x); break;
            }
            if (!looped) value *= std::exp(-6.0 * i / shotLength);
            samples[s].push_back(std::int8_t(std::lround(value * 100)));
        }
    }

    std::string title = "Dense benchmark";
    title.resize(20, '\0');
    bytes.insert(bytes.end(), title.begin(), title.end());
    for (std::size_t s = 0; s < 31; ++s) {
        std::string name = s < samples.size() ? "wave " + std::to_string(s + 1) : "";
        name.resize(22, '\0');
        bytes.insert(bytes.end(), name.begin(), name.end());
        const int words = s < samples.size() ? int(samples[s].size() / 2) : 0;
        put16(words);
        bytes.push_back(0);                         // finetune
        bytes.push_back(s < samples.size() ? 64 : 0); // volume
        put16(0);                                   // loop start
        put16(s < 4 ? words : 1);                   // loop length; 1 word means no loop
    }
    bytes.push_back(orders);
    bytes.push_back(127);
    for (int o = 0; o < 128; ++o) bytes.push_back(std::uint8_t(o < orders ? o % patterns : 0));
    for (const char c : std::string("16CH")) bytes.push_back(std::uint8_t(c));

    // Periods of three octaves from C.
    constexpr std::array<int, 36> periods{856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                          428, 404, 381, 360, 340, 320, 302, 285, 269, 254, 240, 226,
                                          214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
    constexpr std::array<std::array<int, 2>, 6> effects{{{0x0, 0x37}, {0x4, 0x46}, {0xA, 0x02}, {0xE, 0x93}, {0xE, 0xD2}, {0x8, 0xC0}}};
    std::uint32_t dice = 12345;
    const auto roll = [&](int sides) {
        dice = dice * 1664525u + 1013904223u;
        return int((dice >> 8) % std::uint32_t(sides));
    };
    for (int p = 0; p < patterns; ++p) {
        for (int row = 0; row < rows; ++row) {
            for (int c = 0; c < channels; ++c) {
                int sample = 0, period = 0, effect = 0, parameter = 0;
                if (roll(8) != 0) {
                    sample = 1 + c % 8;
                    period = periods[std::size_t(12 * (c % 3) + roll(12))];
                    if (roll(4) == 0) {
                        const auto& chosen = effects[std::size_t(roll(int(effects.size())))];
                        effect = chosen[0];
                        parameter = chosen[1];
                    }
                }
                // The tempo on the first row of every pattern: 140 bpm at six ticks a row.
                if (row == 0 && c == 0) effect = 0xF, parameter = 140;
                if (row == 0 && c == 1) effect = 0xF, parameter = 6;
                bytes.push_back(std::uint8_t((sample & 0xF0) | (period >> 8)));
                bytes.push_back(std::uint8_t(period));
                bytes.push_back(std::uint8_t(((sample & 0x0F) << 4) | effect));
                bytes.push_back(std::uint8_t(parameter));
            }
        }
    }
    for (const auto& sample : samples) bytes.insert(bytes.end(), sample.begin(), sample.end());

    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

} // namespace veltrane::benchmarks
