#include "catalogue/program_folder.h"

#include <gtest/gtest.h>

namespace runsweep {
namespace {

TEST(FolderOfPath, DropsTheFileNameAndKeepsOnlyARootsSeparator) {
    EXPECT_EQ(FolderOfPath(L"C:\\Program Files\\Runsweep\\Runsweep.exe"), L"C:\\Program Files\\Runsweep");
    EXPECT_EQ(FolderOfPath(L"C:\\Runsweep.exe"), L"C:\\");
    EXPECT_EQ(FolderOfPath(L"\\\\server\\share\\Runsweep.exe"), L"\\\\server\\share\\");
    EXPECT_EQ(FolderOfPath(L"\\\\server\\share\\tools\\Runsweep.exe"), L"\\\\server\\share\\tools");
    EXPECT_EQ(FolderOfPath(L"\\\\?\\C:\\tools\\Runsweep.exe"), L"\\\\?\\C:\\tools");
    EXPECT_EQ(FolderOfPath(L"Runsweep.exe"), L"");
}

} // namespace
} // namespace runsweep
