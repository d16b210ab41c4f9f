// The composed frames of the real program: `vesiclar --render` on the headless context with the
// real archive, read back from its PNG files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <png.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

constexpr int kW = 320, kH = 240;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

bool readPicture(const std::string& path, Picture& out)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ProgramRun {
    int status = -1;
    std::string err;
};

ProgramRun runVesiclar(const std::string& arguments, const std::string& errFile, const std::string& outFile = "/dev/null")
{
    const std::string command = shellQuoted(VESICLAR_BINARY) + " " + arguments + " >" + outFile + " 2>" + errFile;
    const int raw = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = readFile(errFile);
    return run;
}

class RenderTest : public ::testing::Test {
protected:
    std::string settings(int detail, bool clock, bool fps)
    {
        const std::string path = folder.file("settings-" + std::to_string(counter++) + ".ini");
        std::ofstream out(path);
        out << "Detail=" << detail << "\nShowClock=" << clock << "\nShowFPS=" << fps
            << "\nTimeFormat=0\nEnableMusic=0\nDefGamma=1\n";
        return path;
    }

    // Renders frames and returns the pictures; fails the test when the program does.
    std::vector<Picture> render(const std::string& options, const std::string& settingsFile, int frames = 1)
    {
        const std::string dir = folder.file("out-" + std::to_string(counter++));
        const ProgramRun run = runVesiclar("--render " + dir + " --size " + std::to_string(kW) + "x" + std::to_string(kH) +
                                        " --frames " + std::to_string(frames) + " --settings " + settingsFile + " " +
                                        options,
                                    folder.file("err.txt"));
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<Picture> pictures(frames);
        for (int i = 0; i < frames; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame-%05d.png", i);
            EXPECT_TRUE(readPicture(dir + name, pictures[i])) << dir + name;
            lastFiles.push_back(dir + name);
        }
        return pictures;
    }

    ScratchFolder folder;
    int counter = 0;
    std::vector<std::string> lastFiles;
};

struct Stats {
    double mean = 0, variance = 0;
    int distinctish = 0;  // coarse colour buckets in use
};

Stats stats(const Picture& p)
{
    Stats s;
    std::vector<bool> buckets(512, false);
    double sum = 0, sumSq = 0;
    const size_t n = p.rgb.size();
    for (size_t i = 0; i < n; i += 3) {
        const double lum = (p.rgb[i] + p.rgb[i + 1] + p.rgb[i + 2]) / 3.0;
        sum += lum;
        sumSq += lum * lum;
        buckets[(p.rgb[i] >> 5) * 64 + (p.rgb[i + 1] >> 5) * 8 + (p.rgb[i + 2] >> 5)] = true;
    }
    const double count = static_cast<double>(n / 3);
    s.mean = sum / count;
    s.variance = sumSq / count - s.mean * s.mean;
    for (bool b : buckets) s.distinctish += b;
    return s;
}

// Pixels that differ between two pictures, split by whether they lie inside the given rectangles
// (overlay units, 800 x 600, origin bottom left).
struct Rect {
    double x0, y0, x1, y1;
};
void countDifferences(const Picture& a, const Picture& b, const std::vector<Rect>& rects, int& inside, int& outside)
{
    inside = outside = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const uint8_t* p = a.at(x, y);
            const uint8_t* q = b.at(x, y);
            if (p[0] == q[0] && p[1] == q[1] && p[2] == q[2]) continue;
            const double ux = (x + 0.5) * 800.0 / a.width, uy = 600.0 - (y + 0.5) * 600.0 / a.height;
            bool in = false;
            for (const Rect& r : rects) in = in || (ux >= r.x0 && ux <= r.x1 && uy >= r.y0 && uy <= r.y1);
            (in ? inside : outside) += 1;
        }
}

}  // namespace

TEST_F(RenderTest, EverySetDrawsAPlausiblePicture)
{
    const std::string s = settings(2, false, false);
    for (const char* set : {"cells", "core", "dna"}) {
        SCOPED_TRACE(set);
        const auto pictures = render(std::string("--seed 42 --skip 4 --start ") + set, s);
        ASSERT_EQ(pictures.size(), 1u);
        ASSERT_EQ(pictures[0].width, kW);
        ASSERT_EQ(pictures[0].height, kH);
        const Stats st = stats(pictures[0]);
        EXPECT_GT(st.mean, 12.0) << "nearly black";
        EXPECT_LT(st.mean, 235.0) << "nearly white";
        EXPECT_GT(st.variance, 40.0) << "nearly flat";
        EXPECT_GT(st.distinctish, 12) << "too few colours";
    }
}

TEST_F(RenderTest, SameSeedSameBytesOtherSeedOtherPicture)
{
    const std::string s = settings(2, true, true);
    render("--seed 7 --start core --frames 2", s, 2);
    render("--seed 7 --start core --frames 2", s, 2);
    render("--seed 8 --start core --frames 2", s, 2);
    ASSERT_EQ(lastFiles.size(), 6u);
    EXPECT_EQ(readFile(lastFiles[0]), readFile(lastFiles[2]));
    EXPECT_EQ(readFile(lastFiles[1]), readFile(lastFiles[3]));
    EXPECT_NE(readFile(lastFiles[1]), readFile(lastFiles[5]));
    EXPECT_NE(readFile(lastFiles[0]), readFile(lastFiles[1]));  // the picture moves
}

TEST_F(RenderTest, ClockAndFrameRateOnlyInTheirCornersAndOnlyWhenOn)
{
    const auto plain = render("--seed 3 --start cells --skip 1", settings(2, false, false));
    const auto clock = render("--seed 3 --start cells --skip 1", settings(2, true, false));
    const auto fps = render("--seed 3 --start cells --skip 1", settings(2, false, true));
    const Rect clockRect{520, 10, 756, 50}, fpsRect{0, 560, 40, 600};
    int inside = 0, outside = 0;
    countDifferences(plain[0], clock[0], {clockRect}, inside, outside);
    EXPECT_GT(inside, 100) << "no clock digits";
    EXPECT_EQ(outside, 0);
    countDifferences(plain[0], fps[0], {fpsRect}, inside, outside);
    EXPECT_GT(inside, 20) << "no frame-rate digit";
    EXPECT_EQ(outside, 0);
}

TEST_F(RenderTest, FadeLayerOnlyEarlyInCoreAndDnaTracksAtHighDetail)
{
    // Detail 1 and 2 draw the core and DNA sets alike except for the fade layer.
    const std::string high = settings(2, false, false), medium = settings(1, false, false);
    for (const char* set : {"core", "dna"}) {
        SCOPED_TRACE(set);
        const std::string early = std::string("--seed 5 --start ") + set;
        const std::string late = early + " --skip 3.5";  // past 3 track units in both sets
        int inside = 0, outside = 0;
        countDifferences(render(early, high)[0], render(early, medium)[0], {}, inside, outside);
        EXPECT_GT(outside, kW * kH / 4) << "no fade layer at the start of the track";
        countDifferences(render(late, high)[0], render(late, medium)[0], {}, inside, outside);
        EXPECT_EQ(outside, 0) << "fade layer after 3 track units";
    }
}

TEST_F(RenderTest, TheFrameThatChangesTheSetShowsTheNewTrackFromItsStart)
{
    // Seed 3's DNA track ends about a second after 59 s; at Detail 0 no fade layer hides the cut.
    const std::vector<Picture> frames = render("--seed 3 --start dna --skip 59", settings(0, false, false), 60);
    auto change = [&](size_t i) {
        double sum = 0;
        for (size_t k = 0; k < frames[i].rgb.size(); ++k) sum += std::abs(frames[i].rgb[k] - frames[i - 1].rgb[k]);
        return sum / static_cast<double>(frames[i].rgb.size());
    };
    size_t cut = 1;
    for (size_t i = 2; i < frames.size(); ++i)
        if (change(i) > change(cut)) cut = i;
    ASSERT_GT(change(cut), 20.0) << "no change of set among the frames";
    ASSERT_LT(cut + 1, frames.size());
    // The frame after the cut moves on along the same flight: a picture from elsewhere would
    // differ from it nearly as much as the cut does.
    EXPECT_LT(change(cut + 1), change(cut) / 5) << "frame " << cut;
}

TEST_F(RenderTest, UnwritableFolderFailsWithOneLine)
{
    const std::string blocked = folder.file("file-not-folder");
    std::ofstream(blocked) << "x";
    const ProgramRun run = runVesiclar("--render " + blocked + "/sub --frames 1 --size 64x64", folder.file("err.txt"));
    EXPECT_NE(run.status, 0);
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;

    const ProgramRun bad = runVesiclar("--render " + folder.file("x") + " --size 12", folder.file("err.txt"));
    EXPECT_NE(bad.status, 0);
    EXPECT_EQ(bad.err.find('\n'), bad.err.size() - 1) << bad.err;
}

TEST_F(RenderTest, OutputThatCannotBeWrittenIsAFailure)
{
    // A full disk: what a script reads back would be missing, so success must not be reported.
    const std::string err = folder.file("err.txt");
    for (const std::string& arguments : {std::string("--version"), std::string("--help"),
                                         "--render " + folder.file("full") + " --frames 1 --size 64x48 --no-pictures"}) {
        const ProgramRun run = runVesiclar(arguments, err, "/dev/full");
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_NE(run.err.find("cannot write to standard output"), std::string::npos) << arguments << ": " << run.err;
    }
}

// A daemon may start the program with a standard stream closed. What it prints there must then go
// nowhere, not into a file it opened in that stream's place (here the log; in a run, with standard
// error closed, the X connection).
TEST_F(RenderTest, AClosedStandardOutputLeavesTheLogAlone)
{
    const std::string temp = folder.file("temp");
    ASSERT_EQ(mkdir(temp.c_str(), 0700), 0);
    const std::string command = "TMPDIR=" + temp + " " + shellQuoted(VESICLAR_BINARY) + " --render " + folder.file("closed") +
                                " --frames 1 --size 64x48 --settings " + settings(0, false, false) + " >&-";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string log = readFile(temp + "/log.txt");
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.substr(log.size() - 4), "EXIT") << log.substr(log.size() > 300 ? log.size() - 300 : 0);
}

// With no private temporary folder to move into (another user has taken /tmp/vesiclar-UID, or
// $TMPDIR is a folder the user may not enter), the log must not land where the program was started,
// over a file of the user's own there.
TEST_F(RenderTest, WithoutATemporaryFolderNoLogIsWrittenWhereTheProgramStarted)
{
    const std::string start = folder.file("start");
    ASSERT_EQ(mkdir(start.c_str(), 0700), 0);
    const std::string notes = "the user's own notes\n";
    std::ofstream(start + "/log.txt") << notes;
    const std::string program = start + "/vesiclar";
    std::filesystem::copy_file(VESICLAR_BINARY, program);  // reachable by the user below wherever the build is
    std::string command = "cd " + start + " && env -u TMPDIR -u XDG_RUNTIME_DIR HOME=" + start + " ";
    std::string taken;
    if (geteuid() == 0) {
        // Root may enter any folder: run as a spare user whose own folder root has taken.
        const uid_t user = 2000000000u + static_cast<uid_t>(getpid());
        taken = "/tmp/vesiclar-" + std::to_string(user);
        ASSERT_EQ(mkdir(taken.c_str(), 0700), 0);
        for (const std::string& path : {folder.path(), start, start + "/log.txt", program})
            ASSERT_EQ(chown(path.c_str(), user, user), 0);
        command += "setpriv --reuid=" + std::to_string(user) + " --regid=" + std::to_string(user) + " --clear-groups ";
    } else {
        const std::string locked = start + "/locked";
        ASSERT_EQ(mkdir(locked.c_str(), 0600), 0);
        command += "TMPDIR=" + locked + " ";
    }
    command += program + " --render " + start + "/frames --frames 1 --size 64x48 >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (!taken.empty())
        rmdir(taken.c_str());
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(readFile(start + "/log.txt") == notes) << "the log was written over log.txt where the program started";
}

// Runs can overlap: a host starts one a monitor, a render goes on beside a run. A later one that
// truncated log.txt under the first, which writes on at its own offset, left the two runs' lines
// written over each other; the log stays with the run that has it until that run ends.
TEST_F(RenderTest, ALogStillBeingWrittenIsLeftToItsRun)
{
    const std::string temp = folder.file("temp");
    ASSERT_EQ(mkdir(temp.c_str(), 0700), 0);
    const std::string trace = "............... Start screensaver ...............\nPath is <>\n";
    std::ofstream(temp + "/log.txt") << trace;
    const int held = open((temp + "/log.txt").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);  // as the run writing it holds it
    const std::string command = "TMPDIR=" + temp + " " + shellQuoted(VESICLAR_BINARY) + " --render " + folder.file("beside") +
                                " --frames 1 --size 64x48 --settings " + settings(0, false, false) + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::string kept = readFile(temp + "/log.txt");
    EXPECT_TRUE(kept == trace) << "the other run's log was truncated or written over: " << kept.substr(0, 200);

    close(held);  // that run has ended: the next one starts a new log
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::string log = readFile(temp + "/log.txt");
    EXPECT_EQ(log.find("Path is <>\n............... Start"), std::string::npos) << log.substr(0, 200);
    EXPECT_EQ(log.rfind("............... Start screensaver", 0), 0u) << log.substr(0, 200);
}

// A FIFO in log.txt's place (to watch the log as it is written): without a reader the run must
// not wait for one, and with one the reader gets the log.
TEST_F(RenderTest, AFifoInTheLogsPlaceNeitherHoldsTheRunUpNorGoesWithoutTheLog)
{
    const std::string temp = folder.file("temp");
    ASSERT_EQ(mkdir(temp.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((temp + "/log.txt").c_str(), 0600), 0);
    const std::string command = "TMPDIR=" + temp + " timeout 20 " + shellQuoted(VESICLAR_BINARY) + " --render " +
                                folder.file("fifo") + " --frames 1 --size 64x48 --settings " +
                                settings(0, false, false) + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << "the run waited for a reader of the log";

    auto reader = std::async(std::launch::async, [&] { return readFile(temp + "/log.txt"); });
    EXPECT_EQ(std::system(command.c_str()), 0);
    if (reader.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ::close(::open((temp + "/log.txt").c_str(), O_WRONLY));  // lets the reader end
        FAIL() << "the log never reached the reader";
    }
    const std::string log = reader.get();
    EXPECT_EQ(log.rfind("............... Start screensaver", 0), 0u) << log.substr(0, 200);
}

TEST_F(RenderTest, CensusCountsEveryPartAndNoPicturesWritesNone)
{
    auto census = [&](const std::string& options) {
        const std::string dir = folder.file("census-" + std::to_string(counter++));
        const std::string out = folder.file("census.txt");
        const ProgramRun run = runVesiclar("--render " + dir + " --size " + std::to_string(kW) + "x" + std::to_string(kH) +
                                               " --frames 2 --seed 5 --skip 4 --census --no-pictures --settings " +
                                               settings(2, true, false) + " " + options,
                                           folder.file("err.txt"), out);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_FALSE(std::ifstream(dir + "/frame-00000.png").good());
        return readFile(out);
    };
    auto row = [](const std::string& table, const std::string& part, double& draws, double& triangles, double& pixels) {
        const size_t at = table.find("\n" + part + " ");
        if (at == std::string::npos) return false;
        return std::sscanf(table.c_str() + at + 1 + part.size(), "%lf %lf %lf", &draws, &triangles, &pixels) == 3;
    };
    const std::string core = census("--start core");
    double draws = 0, triangles = 0, pixels = 0;
    // The background is one mesh drawn twice around the viewer: two passes over every pixel.
    ASSERT_TRUE(row(core, "background", draws, triangles, pixels)) << core;
    EXPECT_EQ(draws, 2);
    EXPECT_EQ(pixels, 2.0 * kW * kH);
    ASSERT_TRUE(row(core, "nucleus", draws, triangles, pixels)) << core;
    EXPECT_EQ(draws, 1);
    EXPECT_GT(pixels, 0);
    ASSERT_TRUE(row(core, "frame", draws, triangles, pixels)) << core;
    EXPECT_GT(triangles, 10000);

    // Culling leaves out cells that cannot be seen: fewer draws and triangles, the same pixels
    // apart from those of cells faded to nothing.
    double culledDraws = 0, culledTriangles = 0, culledPixels = 0;
    const std::string culled = census("--start cells");
    const std::string whole = census("--start cells --no-culling");
    ASSERT_TRUE(row(culled, "frame", culledDraws, culledTriangles, culledPixels)) << culled;
    ASSERT_TRUE(row(whole, "frame", draws, triangles, pixels)) << whole;
    EXPECT_LT(culledDraws, draws);
    EXPECT_LT(culledTriangles, triangles);
    EXPECT_LE(culledPixels, pixels);
}

// Leaving out what cannot be seen must not change the picture: the frames with culling and
// without it may differ by one level of a channel (rounding), and by more only on a few pixels.
TEST_F(RenderTest, CullingLeavesEveryPictureAsItWas)
{
    for (int detail : {0, 2}) {
        const std::string s = settings(detail, false, false);
        for (const char* set : {"cells", "core", "dna"}) {
            SCOPED_TRACE(std::string(set) + " at detail " + std::to_string(detail));
            // Three points of a track: early (flights begin late in the DNA show, so it skips further).
            const std::string points = std::string("--seed 11 --frames 3 --dt 2.5 --skip ") +
                                       (std::string(set) == "dna" ? "9" : "1") + " --start " + set;
            const auto culled = render(points, s, 3);
            const auto whole = render(points + " --no-culling", s, 3);
            for (size_t f = 0; f < culled.size(); ++f) {
                int offByOne = 0, offByMore = 0;
                for (size_t i = 0; i < culled[f].rgb.size(); ++i) {
                    const int d = std::abs(int(culled[f].rgb[i]) - int(whole[f].rgb[i]));
                    offByOne += d == 1;
                    offByMore += d > 1;
                }
                EXPECT_LE(offByMore, 40) << "frame " << f << " (" << offByOne << " channels one level apart)";
            }
        }
    }
}

// The driver's scene memory is taken and freed every frame; the heap must keep it rather than
// hand it back to the kernel and fault it in again, zeroed, at the next frame.
TEST_F(RenderTest, FramesAfterTheFirstFaultInNoMemory)
{
    const std::string s = settings(2, true, false);
    auto faults = [&](int frames) {
        const std::string out = folder.file("faults.txt");
        const ProgramRun run = runVesiclar("--render " + folder.file("faults") + " --size 320x240 --start core --seed 3 --skip 4 "
                                               "--no-pictures --settings " + s + " --frames " + std::to_string(frames),
                                           folder.file("err.txt"), out);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string text = readFile(out);
        const size_t at = text.find("), ");
        double perFrame = -1;
        EXPECT_TRUE(at != std::string::npos && std::sscanf(text.c_str() + at + 3, "%lf page faults per frame", &perFrame) == 1)
            << text;
        return perFrame * frames;
    };
    // Handed back every frame, the scene memory comes to thousands of pages a frame; a one-time
    // growth of some driver buffer after the fifth frame spreads to a few dozen over sixty frames.
    const double few = faults(5), many = faults(65);
    EXPECT_LT((many - few) / 60, 300) << "pages faulted in per frame after the first five";
}
