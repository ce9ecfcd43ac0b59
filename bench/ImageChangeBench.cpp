// An image change as the viewer makes it (read the file, decode, fit into a
// 1920 x 1080 back buffer) against a bare libjpeg-turbo decode of the same
// file by djpeg, run interleaved so both see the same machine state.
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <QCoreApplication>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/unit/PeakMemory.h"
#include "bench/Bench.h"
#include "bench/ChangeMeasures.h"
#include "bench/PhotoLikeRows.h"
#include "platform/Bitmap.h"
#include "image/ImageFile.h"
#include "viewer/grpform.h"
#include "viewer/StretchDraw.h"

namespace {

using pelumir::Bitmap;
using bench::Median;
using bench::PhotoLikeRows;
using bench::ProcessCpuMs;
using bench::TimeDjpeg;
using bench::Timing;

constexpr int kScreenW = 1920, kScreenH = 1080;

void WriteJpeg(const std::string& path, int w, int h, bool progressive) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);  // 4:2:0, as cameras write
    jpeg_set_quality(&c, 90, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    const PhotoLikeRows rows(w, h);
    std::vector<uint8_t> row(size_t(w) * 3);
    while (c.next_scanline < c.image_height) {
        rows.Row(int(c.next_scanline), row.data());
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(file);
}

void WriteBmp24(const std::string& path, int w, int h) {
    const uint32_t stride = uint32_t(w * 3 + 3) / 4 * 4;
    const uint32_t offBits = 54, fileSize = offBits + stride * uint32_t(h);
    uint8_t header[54] = {'B', 'M'};
    auto put32 = [&header](int at, uint32_t v) { std::memcpy(header + at, &v, 4); };
    put32(2, fileSize);
    put32(10, offBits);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    header[26] = 1;
    header[28] = 24;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    const PhotoLikeRows rows(w, h);
    std::vector<uint8_t> rgb(size_t(w) * 3), bgr(stride, 0);
    for (int y = h - 1; y >= 0; --y) {  // bottom-up
        rows.Row(y, rgb.data());
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) bgr[size_t(3 * x + c)] = rgb[size_t(3 * x + 2 - c)];
        out.write(reinterpret_cast<const char*>(bgr.data()), stride);
    }
}

// ---- the two contenders ----

// What the viewer does for one image: read the file into a buffer kept
// between images and decode it (JPEG first, the BMP reader for ".bmp"),
// each row fitted into the back buffer as it comes, unless the right click
// turns pictures: then the whole picture is kept and fitted afterwards.
struct ImageChange {
    explicit ImageChange(bool keep = false) : keepPicture(keep) {}
    bool keepPicture;
    pelumir::FileBytes fileBytes;
    pelumir::FittedSink fitted;
    bool operator()(const std::string& path, Bitmap& source, Bitmap& backBuffer) {
        if (keepPicture) {
            pelumir::Orientation orientation;
            if (!pelumir::LoadImageFile(path, fileBytes, source, &orientation)) std::abort();
            return pelumir::DrawFitted(source, backBuffer, kScreenW, kScreenH, orientation);
        }
        fitted.Aim(backBuffer, kScreenW, kScreenH);
        if (pelumir::LoadImage(path, fileBytes, fitted).state != pelumir::LoadResult::State::Loaded) std::abort();
        return true;
    }
};

template <typename Change>
Timing TimeChange(Change& change, const std::string& path, Bitmap& source, Bitmap& backBuffer) {
    const double wall = bench::NowMs(), cpu = ProcessCpuMs();
    change(path, source, backBuffer);
    return {bench::NowMs() - wall, ProcessCpuMs() - cpu};
}

double FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    return double(file.tellg());
}

struct Inputs {
    std::string jpeg2, jpeg12, jpeg24, progressive12, bmp12, jpeg24Turned, tiny;
};

// The same file with the EXIF orientation a camera held upright writes (6:
// turn a quarter clockwise), in an APP1 segment right after SOI.
void WriteTurnedCopy(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static const char kApp1[] = "\xFF\xE1\x00\x22" "Exif\0\0" "MM\x00\x2A\x00\x00\x00\x08"
                                "\x00\x01" "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00" "\x00\x00\x00\x00";
    bytes.insert(2, kApp1, sizeof kApp1 - 1);
    std::ofstream(to, std::ios::binary) << bytes;
}

const Inputs& MakeInputs() {
    static const Inputs inputs = [] {
        const std::string dir = bench::WorkDir();
        Inputs in{dir + "/2mp.jpg", dir + "/12mp.jpg", dir + "/24mp.jpg", dir + "/12mp-progressive.jpg", dir + "/12mp.bmp",
                  dir + "/24mp-orientation6.jpg", dir + "/tiny.jpg"};
        WriteJpeg(in.jpeg2, 1728, 1152, false);
        WriteJpeg(in.jpeg12, 4000, 3000, false);
        WriteJpeg(in.jpeg24, 6000, 4000, false);
        WriteJpeg(in.progressive12, 4000, 3000, true);
        WriteBmp24(in.bmp12, 4000, 3000);
        WriteTurnedCopy(in.jpeg24, in.jpeg24Turned);
        WriteJpeg(in.tiny, 64, 48, false);
        // How much the coder has to chew on; camera photos have 2 to 4 bits per pixel.
        bench::Print("input_12mp_baseline_bits_per_pixel", FileBytes(in.jpeg12) * 8.0 / 12e6);
        bench::Print("input_24mp_baseline_bits_per_pixel", FileBytes(in.jpeg24) * 8.0 / 24e6);
        return in;
    }();
    return inputs;
}

Bitmap NewBackBuffer() {
    Bitmap b;
    b.Allocate(kScreenW, kScreenH, pelumir::kFrameBits);
    return b;
}

double MedianOf(const std::vector<Timing>& runs, double Timing::*field) {
    std::vector<double> v;
    for (const Timing& t : runs) v.push_back(t.*field);
    return Median(v);
}

void PrintComparison(const std::string& name, const std::vector<Timing>& ours, const std::vector<Timing>& theirs) {
    bench::Print(name + "_change_ms", MedianOf(ours, &Timing::wallMs));
    bench::Print(name + "_djpeg_ms", MedianOf(theirs, &Timing::wallMs));
    bench::Print(name + "_ratio", MedianOf(ours, &Timing::wallMs) / MedianOf(theirs, &Timing::wallMs));
    bench::Print(name + "_cpu_ratio", MedianOf(ours, &Timing::cpuMs) / MedianOf(theirs, &Timing::cpuMs));
}

// Steady state of a show: the source bitmap has held an image of this size
// before, as it has for every photo after the first from one camera.
template <typename Change>
void CompareWithDjpeg(const std::string& name, Change change, const std::string& path, const std::string& djpegPath,
                      int runs) {
    Bitmap source, backBuffer = NewBackBuffer();
    TimeChange(change, path, source, backBuffer);
    TimeDjpeg(djpegPath);
    std::vector<Timing> ours, theirs;
    for (int i = 0; i < runs; ++i) {
        // Alternate who goes first, so neither always finds the caches warm.
        if (i % 2 == 0) ours.push_back(TimeChange(change, path, source, backBuffer));
        theirs.push_back(TimeDjpeg(djpegPath));
        if (i % 2 != 0) ours.push_back(TimeChange(change, path, source, backBuffer));
    }
    PrintComparison(name, ours, theirs);
}

// The first image of a show, or one larger than any before: fresh pages.
void ColdChange(const std::string& name, const std::string& path, int runs) {
    std::vector<Timing> ours, theirs;
    for (int i = 0; i < runs; ++i) {
        Bitmap source, backBuffer = NewBackBuffer();
        ImageChange change;
        ours.push_back(TimeChange(change, path, source, backBuffer));
        theirs.push_back(TimeDjpeg(path));
    }
    PrintComparison(name + "_cold", ours, theirs);
}

// A photo tagged to be turned against the same file untagged, both cold,
// run in turns: the turn is in the sampling, so it should cost nothing.
void ColdTurnedChange(const std::string& name, bool keepPicture, const std::string& upright, const std::string& turned,
                      int runs) {
    std::vector<Timing> plain, tagged;
    for (int i = 0; i < runs; ++i) {
        for (int k = 0; k < 2; ++k) {
            const bool tag = (i + k) % 2 != 0;
            Bitmap source, backBuffer = NewBackBuffer();
            ImageChange change{keepPicture};
            (tag ? tagged : plain).push_back(TimeChange(change, tag ? turned : upright, source, backBuffer));
        }
    }
    bench::Print(name + "_cold_ms", MedianOf(tagged, &Timing::wallMs));
    bench::Print(name + "_cold_upright_ms", MedianOf(plain, &Timing::wallMs));
    bench::Print(name + "_cold_vs_upright_ratio", MedianOf(tagged, &Timing::wallMs) / MedianOf(plain, &Timing::wallMs));
    bench::Print(name + "_cold_vs_upright_cpu_ratio", MedianOf(tagged, &Timing::cpuMs) / MedianOf(plain, &Timing::cpuMs));
}

using testutil::StatusKiB;

// Twenty 24 MP changes in a child of its own, so nothing this process has
// touched before counts; reports the peak after the first and the last.
void PeakMemory(const std::string& name, bool keepPicture, const std::string& path) {
    bench::Print("memory_bench_process_rss_mib", StatusKiB("VmRSS:") / 1024.0);
    int fds[2];
    if (pipe(fds) != 0) return;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::ofstream("/proc/self/clear_refs") << "5";
        long peaks[3] = {StatusKiB("VmRSS:"), 0, 0};
        Bitmap source, backBuffer = NewBackBuffer();
        ImageChange change{keepPicture};
        for (int i = 1; i <= 20; ++i) {
            change(path, source, backBuffer);
            if (i == 1) peaks[1] = StatusKiB("VmHWM:");
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        peaks[2] = std::max(StatusKiB("VmHWM:"), long(usage.ru_maxrss));
        if (write(fds[1], peaks, sizeof peaks) != sizeof peaks) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    long peaks[3] = {};
    const bool ok = read(fds[0], peaks, sizeof peaks) == sizeof peaks;
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    if (!ok) return;
    bench::Print(name + "memory_before_first_change_mib", peaks[0] / 1024.0);
    bench::Print(name + "memory_peak_after_20_changes_24mp_mib", peaks[2] / 1024.0);
    bench::Print(name + "memory_growth_1st_to_20th_change_mib", (peaks[2] - peaks[1]) / 1024.0);
}

// Registered in this order: memory first, while this process is still small.
const bench::Register kMemory("memory_24mp", [] {
    PeakMemory("", false, MakeInputs().jpeg24);
    PeakMemory("rotate_mode_", true, MakeInputs().jpeg24);
    PeakMemory("orientation6_", false, MakeInputs().jpeg24Turned);
    PeakMemory("rotate_mode_orientation6_", true, MakeInputs().jpeg24Turned);
});

const bench::Register kJpeg("jpeg_change", [] {
    const Inputs& in = MakeInputs();
    CompareWithDjpeg("jpeg_2mp_baseline", ImageChange{}, in.jpeg2, in.jpeg2, 15);
    CompareWithDjpeg("jpeg_12mp_baseline", ImageChange{}, in.jpeg12, in.jpeg12, 11);
    CompareWithDjpeg("jpeg_24mp_baseline", ImageChange{}, in.jpeg24, in.jpeg24, 9);
    CompareWithDjpeg("rotate_mode_jpeg_24mp_baseline", ImageChange{true}, in.jpeg24, in.jpeg24, 9);
    CompareWithDjpeg("jpeg_12mp_progressive", ImageChange{}, in.progressive12, in.progressive12, 7);
    ColdChange("jpeg_24mp_baseline", in.jpeg24, 3);
});

const bench::Register kTurned("orientation_change", [] {
    const Inputs& in = MakeInputs();
    ColdTurnedChange("jpeg_24mp_orientation6", false, in.jpeg24, in.jpeg24Turned, 7);
    ColdTurnedChange("rotate_mode_jpeg_24mp_orientation6", true, in.jpeg24, in.jpeg24Turned, 5);
});

const bench::Register kBmp("bmp_change", [] {
    const Inputs& in = MakeInputs();
    CompareWithDjpeg("bmp_12mp_vs_djpeg_12mp", ImageChange{}, in.bmp12, in.jpeg12, 11);
});

}  // namespace

const std::string& bench::Jpeg24mp() { return MakeInputs().jpeg24; }

namespace {

// ---- the image that plays next, made ready during a look at this one ----

using bench::DjpegMedianMs;
using bench::LongestStep;
using bench::ProbeRun;
using bench::RunViewerProbe;
using bench::TwoCopies;

void PrintClick(const std::string& name, const ProbeRun& run) {
    const double djpegMs = Median(run.djpegMs);
    if (run.changeMs.empty() || !(djpegMs > 0)) {
        std::printf("%s: the viewer probe failed\n", name.c_str());
        return;
    }
    bench::Print(name + "_ms", Median(run.changeMs));
    bench::Print(name + "_djpeg_ms", djpegMs);
    bench::Print(name + "_ratio", Median(run.changeMs) / djpegMs);
}

// A real show, as a user starts it: twenty 24 MP pictures, a second each,
// full screen on 1024 x 768, in a process of its own, which reports its
// peak memory at the end. (Read from outside with wait4, the peak would be
// this process's: a child started by posix_spawn keeps the peak of the
// memory it shared with its parent before it ran the probe.)
double ShowPeakMiB(const std::string& picture) {
    const std::string screen = bench::WorkDir() + "/screen-1024x768.json";
    std::ofstream(screen) << R"({"screens":[{"name":"S0","x":0,"y":0,"width":1024,"height":768,"logicalDpi":96,"dpr":1}]})";
    std::string command = "QT_QPA_PLATFORM='offscreen:configfile=" + screen + "' '" +
                          QCoreApplication::applicationDirPath().toStdString() +
                          "/bench-probe/pelumir-viewer-probe' --show";
    for (int i = 0; i < 20; ++i) {
        const std::string copy = bench::WorkDir() + "/show-" + std::to_string(i) + ".jpg";
        std::filesystem::copy_file(picture, copy, std::filesystem::copy_options::overwrite_existing);
        command += " '" + copy + "'";
    }
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) return NAN;
    long kib = 0;
    char line[256];
    while (std::fgets(line, sizeof line, out) != nullptr) std::sscanf(line, "peak_kib %ld", &kib);
    const int status = pclose(out);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || kib <= 0) return NAN;
    return double(kib) / 1024.0;
}

const bench::Register kShow("show_20_pictures", [] {
    bench::Print("show_20_pictures_24mp_1s_1024x768_peak_mib", ShowPeakMiB(MakeInputs().jpeg24));
});

const bench::Register kPrepared("prepared_change", [] {
    const Inputs& in = MakeInputs();
    const auto jpeg24 = TwoCopies(in.jpeg24), jpeg12 = TwoCopies(in.jpeg12), progressive = TwoCopies(in.progressive12);
    TimeDjpeg(in.jpeg24);  // warm the page cache
    const double djpeg24 = DjpegMedianMs(in.jpeg24, 7);

    const Timing step = LongestStep(jpeg24);
    bench::Print("prepare_longest_step_24mp_baseline_ms", step.wallMs);
    bench::Print("prepare_longest_step_24mp_baseline_ratio", step.wallMs / djpeg24);
    bench::Print("prepare_longest_step_24mp_baseline_cpu_ms", step.cpuMs);
    bench::Print("prepare_longest_step_24mp_baseline_cpu_ratio", step.cpuMs / djpeg24);

    // Twenty changes of 24 MP with a look at each: also the memory figure.
    const ProbeRun looked24 = RunViewerProbe(1000, 20, jpeg24);
    PrintClick("click_after_1s_look_24mp_baseline", looked24);
    if (looked24.peakKiB > 0) bench::Print("memory_peak_after_20_looked_changes_24mp_mib", looked24.peakKiB / 1024.0);
    // The same with pictures of 64 x 48: what the process holds whatever the
    // pictures' size (its libraries and the screen-sized frames).
    const ProbeRun lookedTiny = RunViewerProbe(1000, 20, TwoCopies(in.tiny));
    if (lookedTiny.peakKiB > 0)
        bench::Print("memory_peak_after_20_looked_changes_64x48_mib", lookedTiny.peakKiB / 1024.0);
    const ProbeRun rotate24 = RunViewerProbe(1000, 20, jpeg24, "--rotate ");
    if (rotate24.peakKiB > 0)
        bench::Print("rotate_mode_memory_peak_after_20_looked_changes_24mp_mib", rotate24.peakKiB / 1024.0);
    // The same with photos tagged to be turned: the turn is in the sampling.
    const ProbeRun turned24 = RunViewerProbe(1000, 20, TwoCopies(in.jpeg24Turned));
    PrintClick("click_after_1s_look_24mp_orientation6", turned24);
    if (turned24.peakKiB > 0)
        bench::Print("memory_peak_after_20_looked_changes_24mp_orientation6_mib", turned24.peakKiB / 1024.0);
    PrintClick("click_after_1s_look_12mp_baseline", RunViewerProbe(1000, 9, jpeg12));
    PrintClick("click_after_1s_look_12mp_progressive", RunViewerProbe(1000, 9, progressive));
    PrintClick("clicks_in_a_row_24mp_baseline", RunViewerProbe(0, 9, jpeg24));
    PrintClick("clicks_in_a_row_12mp_progressive", RunViewerProbe(0, 7, progressive));
});

}  // namespace
