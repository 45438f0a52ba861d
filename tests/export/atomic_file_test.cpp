#include "export/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "support/temp_folder.h"

namespace kavuro {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class AtomicFileTest : public testing::Test {
protected:
    void SetUp() override {}

    static std::string Read(const std::filesystem::path& path) { return test::ReadWholeFile(path); }
    static void Put(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    test::TempFolder tempFolder;
    const std::filesystem::path folder = tempFolder.Path();
};

TEST_F(AtomicFileTest, WritesANewFileAndLeavesNothingElse) {
    const fs::path path = folder / "list.csv";
    EXPECT_FALSE(WriteFileAtomically(path.string(), "a,b\r\n"));
    EXPECT_EQ(Read(path), "a,b\r\n");
    EXPECT_EQ(Names(), std::set<std::string>{"list.csv"});
    // The usual permissions, not a temporary file's 0600.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(fs::status(path).permissions(),
              static_cast<fs::perms>(0666 & ~mask) & fs::perms::all);
}

TEST_F(AtomicFileTest, ReplacesAFileKeepingItsPermissions) {
    const fs::path path = folder / "list.txt";
    Put(path, "old");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(WriteFileAtomically(path.string(), "new"));
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Names(), std::set<std::string>{"list.txt"});
}

TEST_F(AtomicFileTest, AnAbandonedWriteLeavesTheOldFileAsItWas) {
    const fs::path path = folder / "list.txt";
    Put(path, "old");
    {
        AtomicFile file;
        ASSERT_FALSE(file.Open(path.string()));
        ASSERT_FALSE(file.Write("half"));
        EXPECT_EQ(Names().size(), 2u);  // the temporary file sits beside it
    }
    EXPECT_EQ(Read(path), "old");
    EXPECT_EQ(Names(), std::set<std::string>{"list.txt"});
}

TEST_F(AtomicFileTest, FailuresNameTheirCauseAndLeaveNoFile) {
    Put(folder / "a-file", "kept");
    fs::create_directory(folder / "a-folder");
    Put(folder / "a-folder" / "inside", "kept");
    const struct {
        fs::path path;
        std::errc error;
    } cases[] = {
        {folder / "missing" / "list.txt", std::errc::no_such_file_or_directory},
        {folder / "a-file" / "list.txt", std::errc::not_a_directory},
        {folder / "a-folder", std::errc::is_a_directory},
        {fs::path(folder.string() + "/"), std::errc::is_a_directory},
        {fs::path(), std::errc::no_such_file_or_directory},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WriteFileAtomically(c.path.string(), "new"), std::make_error_code(c.error))
            << c.path;
    }
    EXPECT_EQ(Names(), (std::set<std::string>{"a-file", "a-folder"}));
    EXPECT_EQ(Read(folder / "a-file"), "kept");
    EXPECT_EQ(Read(folder / "a-folder" / "inside"), "kept");
}

TEST_F(AtomicFileTest, WritesThroughASymbolicLink) {
    Put(folder / "real.m3u8", "old");
    fs::create_symlink("real.m3u8", folder / "link.m3u8");
    EXPECT_FALSE(WriteFileAtomically((folder / "link.m3u8").string(), "new"));
    EXPECT_TRUE(fs::is_symlink(folder / "link.m3u8"));
    EXPECT_EQ(Read(folder / "real.m3u8"), "new");
}

TEST_F(AtomicFileTest, ARelativeNameLandsInTheWorkingFolder) {
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    EXPECT_FALSE(WriteFileAtomically("list.json", "{}"));
    fs::current_path(before);
    EXPECT_EQ(Read(folder / "list.json"), "{}");
}

}  // namespace
}  // namespace kavuro
