#include "input_classes.h"

#include <algorithm>
#include <random>

#include "skin_builder.h"

namespace inputclasses {

Bytes flatColour(int width, int height) {
    return skinbuilder::directColorBitmap(width, height, [](int, int) {
        return skinbuilder::Rgb{56, 60, 184};
    });
}

Bytes gradient(int width, int height) {
    return skinbuilder::directColorBitmap(width, height, [=](int x, int y) {
        return skinbuilder::Rgb{static_cast<std::uint8_t>(255 * x / width),
                                static_cast<std::uint8_t>(255 * y / height),
                                static_cast<std::uint8_t>(128 + 127 * (x + y) / (width + height))};
    });
}

Bytes randomOverAlphabet(std::size_t n, int alphabet, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pick(0, alphabet - 1);
    Bytes out(n);
    for (auto& byte : out) {
        byte = static_cast<std::uint8_t>(pick(random));
    }
    return out;
}

Bytes randomBytes(std::size_t n, std::uint32_t seed) {
    return randomOverAlphabet(n, 256, seed);
}

Bytes randomTwoValues(std::size_t n, std::uint32_t seed) {
    Bytes out = randomOverAlphabet(n, 2, seed);
    for (auto& byte : out) {
        byte = byte != 0 ? 0xFF : 0x00;
    }
    return out;
}

Bytes periodic(std::size_t n, std::size_t period, std::uint32_t seed) {
    const Bytes unit = randomBytes(period, seed);
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = unit[i % period];
    }
    return out;
}

Bytes nearPeriodic(std::size_t n, std::size_t period, std::size_t spacing, std::uint32_t seed) {
    Bytes out = periodic(n, period, seed);
    std::mt19937 random(seed + 1);
    if (n == 0) {
        return out;
    }
    std::uniform_int_distribution<std::size_t> where(0, n - 1);
    for (std::size_t k = 0; k < n / spacing; ++k) {
        out[where(random)] ^= static_cast<std::uint8_t>(1 + random() % 255);
    }
    return out;
}

Bytes fibonacciWord(std::size_t n) {
    Bytes previous = {'a'};
    Bytes current = {'a', 'b'};
    while (current.size() < n) {
        Bytes next = current;
        next.insert(next.end(), previous.begin(), previous.end());
        previous = std::move(current);
        current = std::move(next);
    }
    current.resize(n);
    return current;
}

Bytes tiledSprites(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::vector<skinbuilder::Rgb>> sprites(6, std::vector<skinbuilder::Rgb>(256));
    for (auto& sprite : sprites) {
        const skinbuilder::Rgb ink{static_cast<std::uint8_t>(random()),
                                   static_cast<std::uint8_t>(random()),
                                   static_cast<std::uint8_t>(random())};
        for (int i = 0; i < 256; ++i) {
            sprite[i] = random() % 3 == 0 ? ink : skinbuilder::Rgb{20, 20, 30};
        }
    }
    std::vector<int> layout((width / 16 + 1) * (height / 16 + 1));
    for (auto& tile : layout) {
        tile = static_cast<int>(random() % sprites.size());
    }
    return skinbuilder::directColorBitmap(width, height, [&](int x, int y) {
        return sprites[layout[(y / 16) * (width / 16 + 1) + x / 16]][(y % 16) * 16 + x % 16];
    });
}

Bytes orderedDither(int width, int height) {
    return skinbuilder::directColorBitmap(width, height, [=](int x, int y) {
        // The Bayer threshold: the bits of x ^ y and y interleaved, reversed.
        int threshold = 0;
        for (int bit = 0; bit < 3; ++bit) {
            threshold = (threshold << 2) | ((((x ^ y) >> bit) & 1) << 1) | ((y >> bit) & 1);
        }
        const int level = 64 * (x + y) / (width + height);
        return level > threshold ? skinbuilder::Rgb{240, 230, 200} : skinbuilder::Rgb{30, 40, 90};
    });
}

Bytes speckledColour(int width, int height, int oneIn, std::uint32_t seed) {
    std::mt19937 random(seed);
    return skinbuilder::directColorBitmap(width, height, [&](int, int) {
        if (static_cast<int>(random() % static_cast<std::uint32_t>(oneIn)) != 0) {
            return skinbuilder::Rgb{56, 60, 184};
        }
        const std::uint32_t colour = random();
        return skinbuilder::Rgb{static_cast<std::uint8_t>(colour),
                                static_cast<std::uint8_t>(colour >> 8),
                                static_cast<std::uint8_t>(colour >> 16)};
    });
}

Bytes errorDiffusion2Bit(int width, int height) {
    // Floyd-Steinberg over grey levels 0..3, the error carried in floats.
    std::vector<float> grey(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            grey[static_cast<std::size_t>(y) * width + x] =
                3.0f * static_cast<float>(x + 2 * y) / static_cast<float>(width + 2 * height);
        }
    }
    const int rowBytes = (width + 3) / 4;
    Bytes out(static_cast<std::size_t>(rowBytes) * height, 0);
    const auto spread = [&](int x, int y, float error) {
        if (x >= 0 && x < width && y < height) {
            grey[static_cast<std::size_t>(y) * width + x] += error;
        }
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float wanted = grey[static_cast<std::size_t>(y) * width + x];
            const int level = std::clamp(static_cast<int>(wanted + 0.5f), 0, 3);
            const float error = wanted - static_cast<float>(level);
            spread(x + 1, y, error * 7 / 16);
            spread(x - 1, y + 1, error * 3 / 16);
            spread(x, y + 1, error * 5 / 16);
            spread(x + 1, y + 1, error * 1 / 16);
            out[static_cast<std::size_t>(y) * rowBytes + x / 4] |=
                static_cast<std::uint8_t>(level << (6 - 2 * (x % 4)));
        }
    }
    return out;
}

Bytes variedSprites(int width, int height, std::uint32_t seed) {
    Bytes out = tiledSprites(width, height, seed);
    std::mt19937 random(seed + 1);
    constexpr std::size_t kHeader = 24;  // the bitmap header before the pixels
    const std::size_t pixels = (out.size() - kHeader) / 2;
    for (std::size_t k = 0; k < pixels / 256; ++k) {
        const std::size_t at = kHeader + 2 * (random() % pixels);
        out[at] = static_cast<std::uint8_t>(random());
        out[at + 1] = static_cast<std::uint8_t>(random());
    }
    return out;
}

Bytes beyondTheWindow(std::size_t n, std::uint32_t seed) {
    constexpr std::size_t kBlock = 40000;
    constexpr std::size_t kRepeatAt = 450000;  // farther than the largest distance
    Bytes out = tiledSprites(480, 560, seed);
    out.resize(std::max(n, kRepeatAt + kBlock));
    const Bytes block = randomBytes(kBlock, seed);
    std::copy(block.begin(), block.end(), out.begin() + 1000);
    std::copy(block.begin(), block.end(), out.begin() + kRepeatAt);
    out.resize(n);
    return out;
}

}  // namespace inputclasses
