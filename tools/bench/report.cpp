// The report: one table (KivFSX, the bare reference, their ratio, the goal), and JSON.
#include <cstdio>

#include "bench.h"

namespace {
const char* MET_TEXT[] = {"missed", "met"};

double Ratio(const Figure& f) {
    return f.Bare > 0 ? f.Value / f.Bare : -1.0;
}
} // namespace

void PrintTable(const std::vector<Figure>& figures, const std::vector<std::string>& notes) {
    std::printf("| %-44s | %12s | %12s | %7s | %-26s | %-6s |\n", "figure", "KivFSX", "bare",
                "ratio", "goal", "");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(14, '-').c_str(),
                std::string(14, '-').c_str(), std::string(9, '-').c_str(),
                std::string(28, '-').c_str(), std::string(8, '-').c_str());
    for (const Figure& f : figures) {
        std::string name = f.Name + " (" + f.Unit + ")";
        char bare[32] = "-";
        char ratio[32] = "-";
        if (f.Bare >= 0) {
            std::snprintf(bare, sizeof bare, "%.4g", f.Bare);
        }
        if (Ratio(f) >= 0) {
            std::snprintf(ratio, sizeof ratio, "%.3f", Ratio(f));
        }
        std::printf("| %-44s | %12.4g | %12s | %7s | %-26s | %-6s |\n", name.c_str(), f.Value, bare,
                    ratio, f.Goal.c_str(), f.Met < 0 ? "" : MET_TEXT[f.Met]);
    }
    for (const std::string& n : notes) {
        std::printf("%s\n", n.c_str());
    }
}

bool WriteJson(const std::string& path, const std::vector<Figure>& figures,
               const std::vector<std::string>& notes) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        return false;
    }
    std::fprintf(f, "{\n  \"figures\": [\n");
    for (size_t i = 0; i < figures.size(); ++i) {
        const Figure& g = figures[i];
        std::fprintf(f,
                     "    {\"name\": \"%s\", \"unit\": \"%s\", \"kivfsx\": %.6g, \"bare\": %s, "
                     "\"ratio\": %s, \"goal\": \"%s\", \"met\": %s}%s\n",
                     g.Name.c_str(), g.Unit.c_str(), g.Value,
                     g.Bare >= 0 ? std::to_string(g.Bare).c_str() : "null",
                     Ratio(g) >= 0 ? std::to_string(Ratio(g)).c_str() : "null", g.Goal.c_str(),
                     g.Met < 0 ? "null" : (g.Met ? "true" : "false"),
                     i + 1 < figures.size() ? "," : "");
    }
    std::fprintf(f, "  ],\n  \"notes\": [\n");
    for (size_t i = 0; i < notes.size(); ++i) {
        std::fprintf(f, "    \"%s\"%s\n", notes[i].c_str(), i + 1 < notes.size() ? "," : "");
    }
    std::fprintf(f, "  ]\n}\n");
    return std::fclose(f) == 0;
}
