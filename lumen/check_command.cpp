#include <cstdio>

#include "bitmap_family.h"
#include "bitmap_text.h"
#include "commands.h"
#include "shown_text.h"
#include "skin_view.h"

namespace lumen {
namespace {

// "member 2 of 3 (16 bpp, density 144)", as export describes it.
std::string memberText(const palmbitmap::BitmapFamily& family, std::size_t index) {
    const palmbitmap::BitmapMember& member = family.members[index];
    std::string text = "member " + std::to_string(index + 1) + " of " +
                       std::to_string(family.members.size()) + " (" + std::to_string(member.depth) +
                       " bpp";
    if (member.density != palmbitmap::kLowDensity) {
        text += ", density " + std::to_string(member.density);
    }
    return text + ")";
}

// Prints a line for each fault of an intact family; returns whether there was one.
bool reportFamily(const std::string& shown, const ResourceView& view) {
    std::vector<palmbitmap::MemberShape> shapes;
    for (const palmbitmap::BitmapMember& member : view.family.members) {
        shapes.push_back(palmbitmap::shapeOf(member));
    }
    const std::vector<palmbitmap::FamilyProblem> problems = palmbitmap::familyProblems(shapes);
    for (const palmbitmap::FamilyProblem& problem : problems) {
        std::printf("%s: %s: %s: %s\n", shown.c_str(), resourceName(view).c_str(),
                    memberText(view.family, problem.member).c_str(),
                    palmbitmap::familyProblemText(problem, shapes,
                                                  "member " + std::to_string(problem.other + 1))
                        .c_str());
    }
    return !problems.empty();
}

// Returns false when the skin could not be read or holds damage.
bool checkSkin(const std::string& path) {
    const SkinLoad load = loadSkin(path);
    if (!load.skin) {
        reportFailure(path, load.error);
        return false;
    }
    std::size_t bitmaps = 0;
    std::size_t containers = 0;
    std::size_t damaged = 0;
    std::size_t unsound = 0;  // families that some handhelds do not show right
    DecodeBudget budget;
    const std::string shown = shownPath(path);
    for (const prc::ResourceEntry& entry : load.skin->table.entries) {
        const ResourceView view = viewResource(entry, budget);
        if (view.form == StoredForm::notBitmap) {
            continue;
        }
        ++bitmaps;
        containers += view.form == StoredForm::container ? 1 : 0;
        const std::string damage = damageOf(view);
        if (!damage.empty()) {
            ++damaged;
            std::printf("%s: %s: %s\n", shown.c_str(), resourceName(view).c_str(), damage.c_str());
        } else if (reportFamily(shown, view)) {
            ++unsound;
        }
    }
    // Unsound families are the skin as its author made it, not damage: the
    // status stays that of the damage.
    const std::string families = unsound == 0 ? ""
                                              : "; " + std::to_string(unsound) +
                                                    (unsound == 1 ? " family" : " families") +
                                                    " not shown right everywhere";
    std::printf("%s: %zu bitmaps (%zu in containers), %s%s\n", shown.c_str(), bitmaps, containers,
                damaged == 0 ? "all intact" : (std::to_string(damaged) + " damaged").c_str(),
                families.c_str());
    return damaged == 0;
}

}  // namespace

int checkSkins(const std::vector<std::string>& paths) {
    bool intact = true;
    for (const std::string& path : paths) {
        intact = checkSkin(path) && intact;
    }
    return intact && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace lumen
