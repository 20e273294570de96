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
