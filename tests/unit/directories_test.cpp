// The directory layer of the image-sequence export: what it removes, what it
// leaves alone, and what it reports.
#include <gtest/gtest.h>

#include "tests/support/fixtures.h"
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "export/export.h"

namespace mw {
namespace {

namespace fs = std::filesystem;

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every test runs in a fresh temporary working directory.
class DirectoryLayerTest : public testfixtures::CleanProgram {
protected:
    void SetUp() override {
        const testfixtures::WorkingDirectory dir = testfixtures::enterTemporaryDirectory("mw-dirs");
        ASSERT_FALSE(dir.root.empty());
        root = dir.root;
        home = dir.home;
    }
    void TearDown() override {
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
        testfixtures::leaveTemporaryDirectory({root, home});
    }
    fs::path root, home;
};

TEST_F(DirectoryLayerTest, RemovesRealDirectoryWithEverythingInIt) {
    fs::create_directories("IMAGE_SEQUENCE_1/deeper");
    writeText("IMAGE_SEQUENCE_1/img_seq_0.010000.BMP", "old frame");
    writeText("IMAGE_SEQUENCE_1/deeper/note", "x");
    writeText("IMAGE_SEQUENCE_10", "a neighbour with a longer name");

    testing::internal::CaptureStderr();
    EXPECT_TRUE(removeSequenceDirectory("IMAGE_SEQUENCE_1"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(fs::exists(fs::symlink_status("IMAGE_SEQUENCE_1")));
    EXPECT_EQ(readText("IMAGE_SEQUENCE_10"), "a neighbour with a longer name");
}

TEST_F(DirectoryLayerTest, AbsentNameIsSilentlyFine) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(removeSequenceDirectory("IMAGE_SEQUENCE_7"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A link inside the tree and a link standing in the sequence's own place are
// removed as links; what they point at survives with its contents.
TEST_F(DirectoryLayerTest, NeverFollowsSymbolicLinks) {
    fs::create_directory("keep");
    writeText("keep/precious", "must survive");

    fs::create_directory("IMAGE_SEQUENCE_1");
    fs::create_directory_symlink(root / "keep", "IMAGE_SEQUENCE_1/inside");
    fs::create_directory_symlink("keep", "IMAGE_SEQUENCE_2");
    fs::create_symlink("nowhere", "IMAGE_SEQUENCE_3");  // dangling

    for (const char* name : {"IMAGE_SEQUENCE_1", "IMAGE_SEQUENCE_2", "IMAGE_SEQUENCE_3"}) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(removeSequenceDirectory(name));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(fs::exists(fs::symlink_status(name)));
        EXPECT_TRUE(fs::is_directory(fs::symlink_status("keep")));
        EXPECT_EQ(readText("keep/precious"), "must survive");
    }
}

TEST_F(DirectoryLayerTest, RegularFileOfThatNameIsLeftAndReported) {
    writeText("IMAGE_SEQUENCE_1", "not ours");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(removeSequenceDirectory("IMAGE_SEQUENCE_1"));
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("IMAGE_SEQUENCE_1: not a directory"), std::string::npos) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_EQ(readText("IMAGE_SEQUENCE_1"), "not ours");

    // Creation cannot put a directory there either, and says so.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(createSequenceDirectory("IMAGE_SEQUENCE_1"));
    const std::string second = testing::internal::GetCapturedStderr();
    EXPECT_NE(second.find("IMAGE_SEQUENCE_1"), std::string::npos) << second;
    EXPECT_EQ(readText("IMAGE_SEQUENCE_1"), "not ours");
}

TEST_F(DirectoryLayerTest, CreatesInTheWorkingDirectoryAndAcceptsAnExistingOne) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(createSequenceDirectory("IMAGE_SEQUENCE_1"));
    EXPECT_TRUE(createSequenceDirectory("IMAGE_SEQUENCE_1"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(root / "IMAGE_SEQUENCE_1")));
}

// A link to a directory would send the frames somewhere else.
TEST_F(DirectoryLayerTest, CreationRefusesALinkInThePlace) {
    fs::create_directory("elsewhere");
    fs::create_directory_symlink("elsewhere", "IMAGE_SEQUENCE_1");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(createSequenceDirectory("IMAGE_SEQUENCE_1"));
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("IMAGE_SEQUENCE_1: exists and is not a directory"), std::string::npos)
        << message;
}

// Root writes through permission bits, so the unwritable cases that fail for
// every user are a working directory that has been removed and a path whose
// parent is a regular file.
TEST_F(DirectoryLayerTest, CreationFailuresAreReportedWithPathAndReason) {
    writeText("plain", "");
    struct Case {
        const char* name;
        const char* reason;
    };
    const Case cases[] = {
        {"plain/IMAGE_SEQUENCE_1", "Not a directory"},
        {"missing/IMAGE_SEQUENCE_1", "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(createSequenceDirectory(c.name));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("cannot create directory ") + c.name + ": " + c.reason + "\n");
    }
}

TEST_F(DirectoryLayerTest, WorkingDirectoryThatWasRemoved) {
    fs::create_directory("gone");
    fs::current_path("gone");
    fs::remove(root / "gone");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(removeSequenceDirectory("IMAGE_SEQUENCE_1"));
    EXPECT_FALSE(createSequenceDirectory("IMAGE_SEQUENCE_1"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "cannot create directory IMAGE_SEQUENCE_1: No such file or directory\n");
}

TEST_F(DirectoryLayerTest, ReadOnlyWorkingDirectory) {
    fs::create_directory("IMAGE_SEQUENCE_1");
    writeText("IMAGE_SEQUENCE_1/frame", "x");
    fs::permissions(root, fs::perms::owner_read | fs::perms::owner_exec);
    if (access(root.c_str(), W_OK) == 0) {
        GTEST_SKIP() << "permission bits do not stop this user (root); the removed working "
                        "directory and the file-as-parent cases cover the failure path";
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(removeSequenceDirectory("IMAGE_SEQUENCE_1"));
    EXPECT_FALSE(createSequenceDirectory("IMAGE_SEQUENCE_2"));
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("cannot remove IMAGE_SEQUENCE_1: Permission denied"), std::string::npos)
        << message;
    EXPECT_NE(message.find("cannot create directory IMAGE_SEQUENCE_2: Permission denied"),
              std::string::npos)
        << message;
}

}  // namespace
}  // namespace mw
