// Key A's animation: the steps of morphT, the frame names, the sequence numbers,
// stopping and starting again, and the written frames' row order.
#include <SOIL/SOIL.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/shell.h"
#include "app/state.h"
#include "curves/curves.h"
#include "export/export.h"
#include "panels/panels.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

namespace fs = std::filesystem;

int countFiles(const fs::path& directory) {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(directory)) n += entry.is_regular_file();
    return n;
}

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Runs steps as the display pass does, at most `limit`; returns the frame names
// and, if asked, morphT after each step.
std::vector<std::string> runSteps(int limit, std::vector<float>* values = nullptr) {
    std::vector<std::string> names;
    for (int k = 0; k < limit && state.animationRunning; ++k) {
        advanceAnimation();
        names.emplace_back(state.sequencePath.data());
        if (values) values->push_back(state.morphT);
    }
    finishFrames();
    return names;
}

// Every test runs in a fresh temporary working directory.
class AnimationTest : public testfixtures::CleanProgram {
protected:
    void SetUp() override {
        images.morphWidth = kWorkWidth;
        images.morphHeight = kWorkHeight;
        images.morphChannels = 3;
        const testfixtures::WorkingDirectory dir = testfixtures::enterTemporaryDirectory("mw-anim");
        ASSERT_FALSE(dir.root.empty());
        root = dir.root;
        home = dir.home;
    }
    void TearDown() override {
        finishFrames();
        testfixtures::leaveTemporaryDirectory({root, home});
    }
    fs::path root, home;
};

// morphT grows by float additions of 0.01 formed in double, so from the 84th
// step on the names show 0.xx9999; the 101st step is clamped to exactly 1 and
// ends the animation by itself, still writing its frame.
TEST_F(AnimationTest, FullRunWritesHundredAndOneFramesWithFloatStepNames) {
    state.morphingStarted = true;
    startAnimation();
    std::vector<std::string> expected;
    char name[100];
    for (int i = 1; i <= 83; ++i) {
        std::snprintf(name, sizeof name, "IMAGE_SEQUENCE_1/img_seq_0.%02d0000.BMP", i);
        expected.emplace_back(name);
    }
    for (int i = 83; i <= 99; ++i) {
        std::snprintf(name, sizeof name, "IMAGE_SEQUENCE_1/img_seq_0.%02d9999.BMP", i);
        expected.emplace_back(name);
    }
    expected.emplace_back("IMAGE_SEQUENCE_1/img_seq_1.000000.BMP");

    std::vector<float> values;
    std::vector<std::string> names = runSteps(100, &values);
    EXPECT_TRUE(state.animationRunning);
    EXPECT_LT(state.morphT, 1.0f);
    for (const std::string& n : runSteps(100, &values)) names.push_back(n);
    EXPECT_EQ(names, expected);

    // The exact floats: a sum formed in float would give 0x1.999998p-5 at step 5.
    const struct {
        int step;
        float value;
    } exact[] = {{5, 0x1.99999ap-5f},
                 {50, 0x1.fffff4p-2f},
                 {84, 0x1.ae146ap-1f},
                 {100, 0x1.ffffeap-1f},
                 {101, 1.0f}};
    ASSERT_EQ(values.size(), 101u);
    for (const auto& e : exact) {
        SCOPED_TRACE(e.step);
        EXPECT_EQ(values[e.step - 1], e.value);
    }
    EXPECT_FALSE(state.animationRunning);
    EXPECT_EQ(state.morphT, 1.0f);
    EXPECT_EQ(countFiles("IMAGE_SEQUENCE_1"), 101);
    EXPECT_FALSE(fs::exists("IMAGE_SEQUENCE_1/img_seq_0.000000.BMP"));
    for (const std::string& n : {expected.front(), expected[83], expected.back()}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(fs::file_size(n), 54u + kWorkBytes);
    }
}

TEST_F(AnimationTest, StartingResetsMorphTAndReplacesAnEarlierRunsDirectory) {
    fs::create_directory("IMAGE_SEQUENCE_1");
    std::ofstream("IMAGE_SEQUENCE_1/img_seq_0.500000.BMP") << "left by an earlier run";
    state.morphT = 0.73f;  // where the slider stood
    startAnimation();
    EXPECT_EQ(state.morphT, 0.0f);
    EXPECT_TRUE(state.animationRunning);
    EXPECT_EQ(state.imageSequenceNumber, 1);
    EXPECT_STREQ(state.sequencePath.data(), "IMAGE_SEQUENCE_1");
    EXPECT_TRUE(fs::is_directory("IMAGE_SEQUENCE_1"));
    EXPECT_EQ(countFiles("IMAGE_SEQUENCE_1"), 0);
}

// Key A stops where the animation is; pressed again it opens the next sequence
// from 0.01. Numbers go 1, 2, 3 whether a run was stopped or finished.
TEST_F(AnimationTest, KeyAStopsKeepingMorphTAndFramesThenStartsTheNextSequence) {
    onKeyboard('A', 0, 0);
    runSteps(5);
    onKeyboard('a', 0, 0);
    EXPECT_FALSE(state.animationRunning);
    EXPECT_EQ(state.morphT, 0.05f);
    EXPECT_EQ(state.imageSequenceNumber, 1);
    EXPECT_EQ(countFiles("IMAGE_SEQUENCE_1"), 5);

    onKeyboard('a', 0, 0);
    EXPECT_EQ(state.imageSequenceNumber, 2);
    EXPECT_EQ(state.morphT, 0.0f);
    const std::vector<std::string> second = runSteps(200);
    ASSERT_EQ(second.size(), 101u);
    EXPECT_EQ(second.front(), "IMAGE_SEQUENCE_2/img_seq_0.010000.BMP");
    EXPECT_EQ(countFiles("IMAGE_SEQUENCE_1"), 5);
    EXPECT_EQ(countFiles("IMAGE_SEQUENCE_2"), 101);

    onKeyboard('A', 0, 0);
    EXPECT_EQ(state.imageSequenceNumber, 3);
    EXPECT_TRUE(fs::is_directory("IMAGE_SEQUENCE_3"));
    EXPECT_EQ(runSteps(1).front(), "IMAGE_SEQUENCE_3/img_seq_0.010000.BMP");
}

// A picture whose every byte tells its row, column and channel: a file with
// swapped rows, swapped channels or a shifted row shows up at once.
uint8_t sampleAt(int row, int column, int channel) {
    return static_cast<uint8_t>(row * 7 + column * 3 + channel * 101);
}

void fillAsymmetric() {
    for (int y = 0; y < kWorkHeight; ++y)
        for (int x = 0; x < kWorkWidth; ++x)
            for (int ch = 0; ch < 3; ++ch)
                images.morphImage[(y * kWorkWidth + x) * 3 + ch] = sampleAt(y, x, ch);
}

TEST_F(AnimationTest, FrameFileHoldsThePictureTopRowFirst) {
    fillAsymmetric();
    const WorkImage before = images.morphImage;
    images.morphChannels = 4;  // the writer must still be told the 3 bytes it gets

    ASSERT_TRUE(writeFrame("frame.BMP"));
    EXPECT_EQ(images.morphImage, before);

    // Decoded, the first row is the picture's top row (morphImage's last).
    int width = 0, height = 0, channels = 0;
    unsigned char* decoded = SOIL_load_image("frame.BMP", &width, &height, &channels, 0);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(width, kWorkWidth);
    EXPECT_EQ(height, kWorkHeight);
    EXPECT_EQ(channels, 3);
    int wrong = 0;
    for (int r = 0; r < kWorkHeight; ++r)
        for (int k = 0; k < kWorkRowBytes; ++k)
            wrong += decoded[r * kWorkRowBytes + k] != sampleAt(kWorkHeight - 1 - r, k / 3, k % 3);
    SOIL_free_image_data(decoded);
    EXPECT_EQ(wrong, 0);

    // In the file itself: the 54-byte header, then 768-byte rows bottom-up in BGR,
    // byte for byte what the writer puts into a file of its own.
    const std::vector<uint8_t> file = readBytes("frame.BMP");
    ASSERT_EQ(file.size(), 54u + kWorkBytes);
    EXPECT_FALSE(fs::exists("frame.BMP.part"));
    ASSERT_TRUE(SOIL_save_image("direct.BMP", SOIL_SAVE_TYPE_BMP, kWorkWidth, kWorkHeight, 3,
                                images.frameImage.data()));
    EXPECT_TRUE(readBytes("direct.BMP") == file);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(file[10], 54);                           // pixel data offset
    EXPECT_EQ(file[18] | file[19] << 8, kWorkWidth);   // width
    EXPECT_EQ(file[22] | file[23] << 8, kWorkHeight);  // height > 0: bottom-up
    EXPECT_EQ(file[28], 24);                           // bits per pixel
    // File row r is picture row r counted from the bottom, as in morphImage.
    for (int r : {0, 1, 146, 292}) {
        SCOPED_TRACE(r);
        const uint8_t* p = file.data() + 54 + r * kWorkRowBytes;
        for (int x : {0, 1, 255}) {
            EXPECT_EQ(p[x * 3 + 0], sampleAt(r, x, 2));
            EXPECT_EQ(p[x * 3 + 1], sampleAt(r, x, 1));
            EXPECT_EQ(p[x * 3 + 2], sampleAt(r, x, 0));
        }
    }
}

// Whatever the composition produced is what lands in the step's file.
TEST_F(AnimationTest, EachStepWritesTheComposedPicture) {
    fillAsymmetric();
    startAnimation();
    gldouble::reset();
    advanceAnimation();
    EXPECT_EQ(gldouble::count("glTexImage2D"), 1);       // one composition per step
    EXPECT_EQ(gldouble::count("glutPostRedisplay"), 1);  // which asks for the next step
    finishFrames();
    int width = 0, height = 0, channels = 0;
    unsigned char* decoded =
        SOIL_load_image("IMAGE_SEQUENCE_1/img_seq_0.010000.BMP", &width, &height, &channels, 0);
    ASSERT_NE(decoded, nullptr);
    ASSERT_EQ(width * height * channels, kWorkBytes);
    int wrong = 0;
    for (int r = 0; r < kWorkHeight; ++r)
        for (int k = 0; k < kWorkRowBytes; ++k)
            wrong += decoded[r * kWorkRowBytes + k] !=
                     images.morphImage[(kWorkHeight - 1 - r) * kWorkRowBytes + k];
    SOIL_free_image_data(decoded);
    EXPECT_EQ(wrong, 0);
}

// Once the step that ends the animation returns, its frame is on the disk.
TEST_F(AnimationTest, LastStepReturnsWithItsFrameWritten) {
    startAnimation();
    state.morphT = 0.995f;
    advanceAnimation();
    EXPECT_FALSE(state.animationRunning);
    EXPECT_EQ(fs::file_size("IMAGE_SEQUENCE_1/img_seq_1.000000.BMP"), 54u + kWorkBytes);
}

// The frame writer's thread writes each frame as it was handed over, while the next
// step already composes into morphImage.
TEST_F(AnimationTest, HandedOverFrameIsThePictureOfItsStep) {
    fillAsymmetric();
    ASSERT_TRUE(writeFrame("direct.BMP"));
    queueFrame("queued.BMP");
    images.morphImage.fill(0);  // the next step's composition
    finishFrames();
    EXPECT_TRUE(readBytes("queued.BMP") == readBytes("direct.BMP"));
}

// Root writes through permission bits; a working directory that was removed
// fails for every user. Each failure is one line with path and reason, and the
// animation carries on.
TEST_F(AnimationTest, UnusableWorkingDirectoryIsReportedAndTheAnimationCarriesOn) {
    fs::create_directory("gone");
    fs::current_path("gone");
    fs::remove(root / "gone");

    testing::internal::CaptureStderr();
    startAnimation();
    runSteps(2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "cannot create directory IMAGE_SEQUENCE_1: No such file or directory\n"
              "cannot write frame IMAGE_SEQUENCE_1/img_seq_0.010000.BMP: No such file or "
              "directory\n"
              "cannot write frame IMAGE_SEQUENCE_1/img_seq_0.020000.BMP: No such file or "
              "directory\n");
    EXPECT_TRUE(state.animationRunning);
    EXPECT_EQ(state.morphT, 0.02f);
}

// The writer itself reports success when its writes fail; the frame is checked
// apart from it. A file size limit stands in for a full disk here.
TEST_F(AnimationTest, FrameThatCannotBeWrittenWholeLeavesNoFileAndNamesTheReason) {
    fillAsymmetric();
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit small{100000, old.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    const bool written = writeFrame("frame.BMP");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "cannot write frame frame.BMP: File too large\n");
    EXPECT_TRUE(fs::is_empty(".")) << "neither the frame nor its temporary file may stay";
}

}  // namespace
}  // namespace mw
