#include "bitmap_family.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace palmbitmap {
namespace {

using Wide = std::int64_t;

// A side of s pixels at density d stands for a picture of b pixels at
// density 72 when s is b × d / 72 within half a pixel: exact at 144, 216 and
// 288, and either way where 108 falls on half a pixel (15 pixels make 22 or
// 23), since tools round both ways and the handheld scales by the member's
// own size. In whole numbers: |144 s − 2 b d| ≤ 72.
bool standsFor(Wide side, Wide density, Wide base) {
    const Wide gap = 144 * side - 2 * base * density;
    return (gap < 0 ? -gap : gap) <= 72;
}

// The one or two whole sides at density 72 that a side stands for; none
// when it stands for half a pixel (an odd side at 144 has no member of 72).
std::vector<Wide> basesOf(Wide side, Wide density) {
    std::vector<Wide> bases;
    // b × d lies within 36 of 72 s: from (72 s − 36) / d up.
    for (Wide base = std::max<Wide>(0, (72 * side - 36) / density);
         base * density <= 72 * side + 36; ++base) {
        if (standsFor(side, density, base)) {
            bases.push_back(base);
        }
    }
    return bases;
}

// The side at density d of the reference's picture, rounded half up; and
// whether side agrees with it.
struct SideCheck {
    bool agrees = false;
    int expected = 0;
};

SideCheck checkSide(Wide referenceSide, Wide referenceDensity, Wide side, Wide density) {
    const std::vector<Wide> bases = basesOf(referenceSide, referenceDensity);
    if (bases.empty()) {
        // The picture is no whole size at density 72: the reference's side
        // scaled, within half a pixel.
        const Wide gap = side * referenceDensity - referenceSide * density;
        return {2 * (gap < 0 ? -gap : gap) <= referenceDensity,
                static_cast<int>((2 * referenceSide * density + referenceDensity) /
                                 (2 * referenceDensity))};
    }
    const bool agrees = std::any_of(bases.begin(), bases.end(),
                                    [&](Wide base) { return standsFor(side, density, base); });
    return {agrees, static_cast<int>((2 * bases.front() * density + 72) / 144)};
}

bool isLow(const MemberShape& member) {
    return member.density == kLowDensity;
}

std::string depthText(const MemberShape& member) {
    return std::to_string(member.depth) + " bpp at density " + std::to_string(member.density);
}

}  // namespace

MemberShape shapeOf(const BitmapMember& member) {
    return {member.width, member.height, member.depth, member.density};
}

std::vector<std::size_t> handheldOrder(std::span<const MemberShape> members) {
    std::vector<std::size_t> order;
    for (const bool low : {true, false}) {
        for (std::size_t k = 0; k < members.size(); ++k) {
            if (isLow(members[k]) == low) {
                order.push_back(k);
            }
        }
    }
    return order;
}

std::size_t referenceMember(std::span<const MemberShape> members) {
    std::size_t reference = 0;
    for (std::size_t k = 1; k < members.size(); ++k) {
        if (members[k].density < members[reference].density) {
            reference = k;
        }
    }
    return reference;
}

std::vector<FamilyProblem> familyProblems(std::span<const MemberShape> members) {
    std::vector<FamilyProblem> problems;
    if (members.empty()) {
        return problems;
    }
    const std::size_t reference = referenceMember(members);
    const MemberShape& base = members[reference];
    std::optional<std::size_t> firstHigh;
    for (std::size_t k = 0; k < members.size(); ++k) {
        const MemberShape& member = members[k];
        if (!isLow(member) && !firstHigh) {
            firstHigh = k;
        }
        if (isLow(member) && firstHigh) {
            problems.push_back({FamilyFault::hiddenFromOlderSystems, k, *firstHigh, 0, 0});
        }
        for (std::size_t j = 0; j < k; ++j) {
            if (members[j].depth == member.depth && members[j].density == member.density) {
                problems.push_back({FamilyFault::sameDepthAndDensity, k, j, 0, 0});
                break;
            }
        }
        // A density of 0 (no handheld's) scales nothing.
        if (k == reference || member.density <= 0 || base.density <= 0) {
            continue;
        }
        const SideCheck width = checkSide(base.width, base.density, member.width, member.density);
        const SideCheck height =
            checkSide(base.height, base.density, member.height, member.density);
        if (!width.agrees || !height.agrees) {
            problems.push_back(
                {FamilyFault::sizeDisagrees, k, reference, width.expected, height.expected});
        }
    }
    return problems;
}

std::string familyProblemText(const FamilyProblem& problem, std::span<const MemberShape> members,
                              const std::string& otherName) {
    const MemberShape& member = members[problem.member];
    const MemberShape& other = members[problem.other];
    switch (problem.fault) {
        case FamilyFault::hiddenFromOlderSystems:
            return "density 72 behind " + otherName + " (density " + std::to_string(other.density) +
                   "): systems before Palm OS 5 stop there and cannot find it";
        case FamilyFault::sameDepthAndDensity:
            return "a second member of " + depthText(member) + " (the first is " + otherName +
                   "): a handheld shows only one of them";
        case FamilyFault::sizeDisagrees:
            break;
    }
    return std::to_string(member.width) + "x" + std::to_string(member.height) + " where " +
           otherName + " (" + sizeText(other) + ") makes " + std::to_string(problem.expectedWidth) +
           "x" + std::to_string(problem.expectedHeight) + " at density " +
           std::to_string(member.density) +
           ": handhelds that draw this member show the picture at another size";
}

bool sameShownSize(const MemberShape& a, const MemberShape& b) {
    if (a.density <= 0 || b.density <= 0) {
        return a.width == b.width && a.height == b.height;
    }
    return checkSide(a.width, a.density, b.width, b.density).agrees &&
           checkSide(a.height, a.density, b.height, b.density).agrees;
}

std::string sizeText(const MemberShape& member) {
    std::string text = std::to_string(member.width) + "x" + std::to_string(member.height);
    if (member.density != kLowDensity) {
        text += " at density " + std::to_string(member.density);
    }
    return text;
}

}  // namespace palmbitmap
