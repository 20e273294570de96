// Whether a bitmap family is one picture that every handheld finds and draws
// at one size: the order of its members, one member for each depth and
// density, and sizes that agree with the densities. Lumen build refuses what
// it would write otherwise; Lumen check reports it in skins as they are.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "palm_bitmap.h"

namespace palmbitmap {

// What the rules look at in a member.
struct MemberShape {
    int width = 0;
    int height = 0;
    int depth = 0;
    int density = kLowDensity;
};

MemberShape shapeOf(const BitmapMember& member);

// The order the handheld needs: the members of density 72 first, then the
// high-density ones (behind the marker that stops systems before Palm OS 5),
// each group in the order given. Indices into members.
std::vector<std::size_t> handheldOrder(std::span<const MemberShape> members);

// The member the others' sizes are measured against: the first of the lowest
// density. Members must not be empty.
std::size_t referenceMember(std::span<const MemberShape> members);

enum class FamilyFault {
    // Density 72 behind a high-density member: systems before Palm OS 5 stop
    // at the marker (or at the version-3 header they do not know).
    hiddenFromOlderSystems,
    // The handheld picks one member per depth and density: the other is never shown.
    sameDepthAndDensity,
    // Not the reference's picture at this member's density.
    sizeDisagrees,
};

struct FamilyProblem {
    FamilyFault fault = FamilyFault::sizeDisagrees;
    std::size_t member = 0;  // the member at fault
    std::size_t other = 0;   // the member it is measured against
    int expectedWidth = 0;   // sizeDisagrees: the reference's picture at this density
    int expectedHeight = 0;
};

// Every fault of the members in the order they are stored (or to be stored),
// the members at fault in that order.
std::vector<FamilyProblem> familyProblems(std::span<const MemberShape> members);

// What a problem means and which handhelds it fails, for a message that names
// the member at fault before it; otherName names problem.other.
std::string familyProblemText(const FamilyProblem& problem, std::span<const MemberShape> members,
                              const std::string& otherName);

// Whether two members show the same picture size on the handheld (each at
// its own density), as familyProblems measures it.
bool sameShownSize(const MemberShape& a, const MemberShape& b);

// "320x480", or "640x960 at density 144".
std::string sizeText(const MemberShape& member);

}  // namespace palmbitmap
