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

Bytes bandedGradient(int width, int height) {
    const int flatRows = height / 4;
    const int bandRows = (height - flatRows + 15) / 16;
    return skinbuilder::directColorBitmap(width, height, [=](int, int y) {
        if (y < flatRows) {
            return skinbuilder::Rgb{230, 230, 235};
        }
        const int band = (y - flatRows) / bandRows;
        return skinbuilder::Rgb{static_cast<std::uint8_t>(40 + 12 * band),
                                static_cast<std::uint8_t>(60 + 10 * band),
                                static_cast<std::uint8_t>(200 - 8 * band)};
    });
}

Bytes shapesOnFlatGround(int width, int height) {
    const int centreX = 2 * width / 3;
    const int centreY = 2 * height / 3;
    const int radius = std::min(width, height) / 4;
    return skinbuilder::directColorBitmap(width, height, [=](int x, int y) {
        if (x >= width / 8 && x < width / 2 && y >= height / 8 && y < height / 3) {
            return skinbuilder::Rgb{200, 40, 40};
        }
        const int dx = x - centreX;
        const int dy = y - centreY;
        if (dx * dx + dy * dy <= radius * radius) {
            return skinbuilder::Rgb{40, 90, 200};
        }
        return skinbuilder::Rgb{255, 255, 255};
    });
}

Bytes interfacePanel(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    constexpr int kTitleRows = 24;
    constexpr int kColumns = 3;
    constexpr int kRows = 6;
    constexpr int kMargin = 8;
    const int cellWidth = (width - kMargin) / kColumns;
    const int cellHeight = (height - kTitleRows - kMargin) / kRows;
    // Each button's label: a few strokes of random lengths on one line.
    std::vector<std::vector<std::pair<int, int>>> labels(kColumns * kRows);
    for (auto& label : labels) {
        int x = 6;
        while (x < cellWidth - kMargin - 12) {
            const int length = 2 + static_cast<int>(random() % 7);
            label.emplace_back(x, x + length);
            x += length + 2 + static_cast<int>(random() % 3);
        }
    }
    return skinbuilder::directColorBitmap(width, height, [&](int x, int y) {
        if (y < kTitleRows) {
            const auto shade = static_cast<std::uint8_t>(60 + 4 * y);
            return skinbuilder::Rgb{shade, shade, static_cast<std::uint8_t>(shade + 40)};
        }
        const int column = (x - kMargin) / cellWidth;
        const int row = (y - kTitleRows - kMargin) / cellHeight;
        const int u = (x - kMargin) % cellWidth;
        const int v = (y - kTitleRows - kMargin) % cellHeight;
        const int buttonWidth = cellWidth - kMargin;
        const int buttonHeight = cellHeight - kMargin;
        if (x < kMargin || y < kTitleRows + kMargin || column >= kColumns || row >= kRows ||
            u >= buttonWidth || v >= buttonHeight) {
            return skinbuilder::Rgb{212, 208, 200};
        }
        if (u == 0 || v == 0 || u == buttonWidth - 1 || v == buttonHeight - 1) {
            return skinbuilder::Rgb{64, 64, 64};
        }
        if (u == 1 || v == 1) {
            return skinbuilder::Rgb{255, 255, 255};
        }
        if (u == buttonWidth - 2 || v == buttonHeight - 2) {
            return skinbuilder::Rgb{128, 128, 128};
        }
        const int line = buttonHeight / 2;
        if (v >= line - 3 && v <= line + 3) {
            for (const auto& [from, to] : labels[row * kColumns + column]) {
                if (u >= from && u < to) {
                    return skinbuilder::Rgb{0, 0, 0};
                }
            }
        }
        return skinbuilder::Rgb{236, 233, 216};
    });
}

std::vector<std::filesystem::path> skinsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> skins;
    if (!std::filesystem::is_directory(folder)) {
        return skins;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".prc") {
            skins.push_back(entry.path());
        }
    }
    std::sort(skins.begin(), skins.end());
    return skins;
}

}  // namespace inputclasses
