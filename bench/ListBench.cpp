// The source list at scale: appending dropped names, opening a list file and
// saving it must all grow linearly. Each figure prints the time per line for
// 1,000 and 100,000 lines and their ratio (at most 1.5 is the goal).
#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

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

// Best of three rounds, the two sizes interleaved so that a burst of load
// from elsewhere on the machine hits both alike. A round of the small list
// is ten runs in a row, so each sample lasts long enough that one stray
// scheduler pause does not swamp it, and both sizes get as many samples.
using Measure = std::function<double(int n)>;  // one run's milliseconds

void Report(const char* name, const Measure& measure) {
    constexpr int kSmallRuns = 10;
    double small = 1e300, large = 1e300;
    for (int round = 0; round < 3; ++round) {
        double total = 0;
        for (int r = 0; r < kSmallRuns; ++r) total += measure(1000);
        small = std::min(small, total / kSmallRuns);
        large = std::min(large, measure(100000));
    }
    small = small * 1000.0 / 1000;    // microseconds per line at 1,000
    large = large * 1000.0 / 100000;  // at 100,000
    bench::Print(std::string(name) + ".per_line_1000", small, " us");
    bench::Print(std::string(name) + ".per_line_100000", large, " us");
    bench::Print(std::string(name) + ".ratio", large / small);
}

// Times f, including the repaint it causes.
template <typename F>
double TimeMs(F&& f) {
    const double t0 = bench::NowMs();
    f();
    QApplication::processEvents();
    return bench::NowMs() - t0;
}

double AppendMs(int n) {
    static std::map<int, std::vector<std::string>> names;
    if (!names.count(n)) names[n] = Names(n);
    ShownBox s;
    return TimeMs([&] { s.box.AppendLines(names[n]); });
}

std::string ListFileOf(int n) {
    const std::string path = bench::WorkDir() + "/list" + std::to_string(n) + ".txt";
    static std::map<int, bool> written;
    if (!written[n]) {
        std::string text;
        for (const auto& name : Names(n)) pelumir::AppendLine(text, name);
        pelumir::WriteListFile(path, text);
        written[n] = true;
    }
    return path;
}

double OpenMs(int n) {
    const std::string path = ListFileOf(n);
    ShownBox s;
    return TimeMs([&] { s.box.ReplaceText(pelumir::ReadListFile(path)); });
}

double SaveMs(int n) {
    ShownBox s;
    s.box.ReplaceText(pelumir::ReadListFile(ListFileOf(n)));
    const std::string out = bench::WorkDir() + "/saved.txt";
    return TimeMs([&] { pelumir::WriteListFile(out, s.box.Text()); });
}

bench::Register append("list.append", [] { Report("list.append", AppendMs); });
bench::Register open("list.open", [] { Report("list.open", OpenMs); });
bench::Register save("list.save", [] { Report("list.save", SaveMs); });

}  // namespace
