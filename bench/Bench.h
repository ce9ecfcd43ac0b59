#pragma once
// A tiny registry of benchmark figures. Each figure prints lines
// "name: value"; ratios are taken against a baseline measured in the same run.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Figure {
    std::string name;
    std::function<void()> run;
};

inline std::vector<Figure>& Registry() {
    static std::vector<Figure> figures;
    return figures;
}

struct Register {
    Register(const char* name, std::function<void()> run) {
        Registry().push_back({name, std::move(run)});
    }
};

inline double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

inline void Print(const std::string& name, double value, const char* unit = "") {
    std::printf("%s: %.3f%s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

// The folder where a figure may write its generated inputs.
std::string WorkDir();

}  // namespace bench
