#include "contact_sheet.h"

namespace lumen {
namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Zoom without script: radio buttons ahead of the sheet set the factor that
// every image's size is computed from; pixelated rendering keeps the pixels
// sharp. Each image appears on a dark and a light ground, so that both dark
// and light transparent edges show.
constexpr const char* kStyle = R"(
body { font: 14px system-ui, sans-serif; margin: 16px; background: #fafafa; color: #222; }
h1 { font-size: 20px; margin: 0 0 4px; }
label { margin-right: 12px; }
.sheet { margin-top: 12px; --z: 1; display: flex; flex-wrap: wrap; gap: 16px; align-items: flex-start; }
#zoom2:checked ~ .sheet { --z: 2; }
#zoom3:checked ~ .sheet { --z: 3; }
#zoom4:checked ~ .sheet { --z: 4; }
figure { margin: 0; padding: 8px; background: #fff; border: 1px solid #ccc; }
.grounds { display: flex; gap: 4px; }
.ground { padding: 8px; }
.dark { background: #1b1b1b; }
.light { background: #f2f2f2; }
img { display: block; image-rendering: pixelated;
      width: calc(var(--w) * var(--z) * 1px); height: calc(var(--h) * var(--z) * 1px); }
figcaption { font-size: 12px; margin-top: 6px; line-height: 1.4; }
.damage { color: #b00020; max-width: 24em; }
)";

std::string figure(const SheetEntry& entry) {
    std::string html = "<figure>\n";
    if (!entry.imageFile.empty()) {
        const std::string size = std::to_string(entry.width) + "x" + std::to_string(entry.height);
        const std::string image = "<img src=\"" + escaped(entry.imageFile) + "\" width=\"" +
                                  std::to_string(entry.width) + "\" height=\"" +
                                  std::to_string(entry.height) +
                                  "\" style=\"--w: " + std::to_string(entry.width) +
                                  "; --h: " + std::to_string(entry.height) + "\" alt=\"" +
                                  escaped(entry.resource) + "\">";
        html += "<div class=\"grounds\"><div class=\"ground dark\">" + image +
                "</div><div class=\"ground light\">" + image + "</div></div>\n";
        html += "<figcaption><b>" + escaped(entry.resource) + "</b> " + size + ", " +
                escaped(entry.details) + "<br>" + escaped(entry.stored) + "</figcaption>\n";
    } else {
        html += "<figcaption><b>" + escaped(entry.resource) + "</b> " + escaped(entry.stored) +
                "<div class=\"damage\">damaged: " + escaped(entry.damage) + "</div></figcaption>\n";
    }
    return html + "</figure>\n";
}

}  // namespace

std::string contactSheetHtml(const std::string& title, const std::string& summary,
                             const std::vector<SheetEntry>& entries) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<title>" + escaped(title) + "</title>\n<style>" + kStyle + "</style>\n</head>\n";
    html += "<body>\n<h1>" + escaped(title) + "</h1>\n<p>" + escaped(summary) + "</p>\n";
    // The radio buttons are the sheet's earlier siblings, as the zoom rules need.
    html += "<span class=\"zoom\">Zoom:</span>\n";
    for (int factor = 1; factor <= 4; ++factor) {
        const std::string id = "zoom" + std::to_string(factor);
        html += "<input type=\"radio\" name=\"zoom\" id=\"" + id + "\"" +
                (factor == 1 ? " checked" : "") + "><label for=\"" + id + "\">" +
                std::to_string(factor) + "&times;</label>\n";
    }
    html += "<div class=\"sheet\">\n";
    for (const SheetEntry& entry : entries) {
        html += figure(entry);
    }
    return html + "</div>\n</body>\n</html>\n";
}

}  // namespace lumen
