#include "common/folder_prep.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "test_support.h"

namespace vantry::common {
namespace {

using test::TempFolder;

TEST(FolderPrep, CreatesEveryLevelPrivately)
{
    TempFolder dir;
    const std::string deep = dir.path() + "/vantry/records/camera01/";
    std::string error;
    ASSERT_TRUE(prepareFolder(deep, &error)) << error;
    struct stat info {};
    ASSERT_EQ(::stat(deep.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(prepareFolder(deep)) << "an existing folder is fine";
    EXPECT_TRUE(canCreateFilesIn(deep));
    EXPECT_TRUE(test::folderEntries(deep).empty()) << "no probe file left behind";
}

TEST(FolderPrep, ReportsWhyAFolderCannotBeUsed)
{
    TempFolder dir;
    test::writeFile(dir.file("plain"), "x");
    struct Row {
        std::string path;
        const char* reason;
    };
    const Row rows[] = {
        {dir.file("plain"), "cannot create folder"},
        {dir.file("plain") + "/below/deeper", "cannot create folder"},
        {"", "cannot create folder"},
    };
    for (const Row& row : rows) {
        std::string error;
        EXPECT_FALSE(prepareFolder(row.path, &error)) << row.path;
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
    }
    EXPECT_FALSE(canCreateFilesIn(dir.file("plain")));
}

TEST(FolderPrep, ReadOnlyFolderIsAFailure)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    TempFolder dir;
    const std::string locked = dir.file("locked");
    ASSERT_EQ(::mkdir(locked.c_str(), 0500), 0);
    std::string error;
    EXPECT_FALSE(prepareFolder(locked, &error));
    EXPECT_NE(error.find("cannot write in folder"), std::string::npos) << error;
    ::chmod(locked.c_str(), 0700);
}

} // namespace
} // namespace vantry::common
