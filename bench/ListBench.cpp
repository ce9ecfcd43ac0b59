// The source list at scale: appending dropped names, opening a list file and
// saving it must all grow linearly. Each figure prints the time per line for
// 1,000 and 100,000 lines and their ratio (at most 1.5 is the goal).
#include <QApplication>

#include <algorithm>
#include <cstdio>

#include "app/ListFile.h"
#include "app/ListText.h"
#include "app/SourceListBox.h"
#include "bench/Bench.h"

namespace {

std::vector<std::string> Names(int n) {
    std::vector<std::string> names;
    names.reserve(std::size_t(n));
    char buf[64];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "/pics/holiday 2023/IMG_%06d.jpg", i);
        names.emplace_back(buf);
    }
    return names;
}

// A shown box, so layout and painting are paid as a user would pay them.
struct ShownBox {
    pelumir::TSourceListBox box;
    ShownBox() {
        box.resize(544, 300);
        box.show();
        QApplication::processEvents();
    }
};

// Best of a few runs: the small list runs in a few milliseconds, where one
// stray scheduler pause would swamp the figure.
template <typename Prepare, typename Measure>
double BestMs(int runs, Prepare&& prepare, Measure&& measure) {
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        auto state = prepare();
        const double t0 = bench::NowMs();
        measure(*state);
        QApplication::processEvents();
        best = std::min(best, bench::NowMs() - t0);
    }
    return best;
}

void Report(const char* name, double msSmall, double msLarge) {
    const double small = msSmall * 1000.0 / 1000;     // microseconds per line at 1,000
    const double large = msLarge * 1000.0 / 100000;   // at 100,000
    bench::Print(std::string(name) + ".per_line_1000", small, " us");
    bench::Print(std::string(name) + ".per_line_100000", large, " us");
    bench::Print(std::string(name) + ".ratio", large / small);
}

double AppendMs(int n, int runs) {
    const auto names = Names(n);
    return BestMs(runs, [] { return std::make_unique<ShownBox>(); },
                  [&](ShownBox& s) { s.box.AppendLines(names); });
}

std::string ListFileOf(int n) {
    std::string text;
    for (const auto& name : Names(n)) pelumir::AppendLine(text, name);
    const std::string path = bench::WorkDir() + "/list" + std::to_string(n) + ".txt";
    pelumir::WriteListFile(path, text);
    return path;
}

double OpenMs(int n, int runs) {
    const std::string path = ListFileOf(n);
    return BestMs(runs, [] { return std::make_unique<ShownBox>(); },
                  [&](ShownBox& s) { s.box.ReplaceText(pelumir::ReadListFile(path)); });
}

double SaveMs(int n, int runs) {
    const std::string path = ListFileOf(n);
    ShownBox s;
    s.box.ReplaceText(pelumir::ReadListFile(path));
    const std::string out = bench::WorkDir() + "/saved" + std::to_string(n) + ".txt";
    pelumir::WriteListFile(out, "old");
    return BestMs(runs, [] { return std::make_unique<int>(0); },
                  [&](int&) { pelumir::WriteListFile(out, s.box.Text()); });
}

bench::Register append("list.append", [] { Report("list.append", AppendMs(1000, 9), AppendMs(100000, 3)); });
bench::Register open("list.open", [] { Report("list.open", OpenMs(1000, 9), OpenMs(100000, 3)); });
bench::Register save("list.save", [] { Report("list.save", SaveMs(1000, 9), SaveMs(100000, 3)); });

}  // namespace
