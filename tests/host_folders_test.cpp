// The run's folders through the host layer: each disk's folder is made and
// entered from the work folder, and the run gets back to the work folder
// and at last to where it started, by whatever way the host offers (a
// handle on the folder where it can, the folder's path where a handle
// leads nowhere, as under Emscripten). A way back that fails would put
// every later disk's folder inside the one before.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "host/host.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;

// Runs the test body in the scratch folder and comes back afterwards.
class HostFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    before_ = fs::current_path();
    fs::current_path(scratch_.path());
    start_ = fs::current_path();
  }
  void TearDown() override {
    host::ReturnToStartFolder();
    fs::current_path(before_);
  }

  d88test::ScratchDir scratch_;
  fs::path before_;
  fs::path start_;
};

TEST_F(HostFoldersTest, DiskFoldersSitSideBySideInTheWorkFolder) {
  const std::uint8_t data[] = {'d', 'a', 't', 'a'};
  const char* const disks[] = {"000", "001", "002"};
  ASSERT_TRUE(host::EnterWorkFolder("out/nested"));
  for (const char* disk : disks) {
    SCOPED_TRACE(disk);
    ASSERT_EQ(host::MakeFolder(disk), host::MakeOutcome::kMade);
    ASSERT_TRUE(host::EnterFolder(disk));
    ASSERT_TRUE(host::WriteFile("FILE", false, data, sizeof data, sizeof data));
    ASSERT_TRUE(host::ReturnToWorkFolder());
  }
  EXPECT_EQ(host::MakeFolder("000"), host::MakeOutcome::kExists);
  host::ReturnToStartFolder();
  EXPECT_EQ(fs::current_path(), start_);
  for (const char* disk : disks) {
    const fs::path file = start_ / "out" / "nested" / disk / "FILE";
    EXPECT_TRUE(fs::is_regular_file(file)) << file;
    EXPECT_EQ(fs::file_size(file), sizeof data) << file;
  }
  EXPECT_FALSE(fs::exists(start_ / "out" / "nested" / "000" / "001"));
}

#if !defined(_WIN32)
// A disk folder that is a link could lead the run out of its folder.
TEST_F(HostFoldersTest, RefusesToEnterAFolderThatIsALink) {
  fs::create_directory(start_ / "elsewhere");
  ASSERT_TRUE(host::EnterWorkFolder(nullptr));
  std::error_code error;
  fs::create_directory_symlink(start_ / "elsewhere", start_ / "000", error);
  ASSERT_FALSE(error) << error.message();
  EXPECT_FALSE(host::EnterFolder("000"));
  EXPECT_EQ(std::string(host::FolderErrorText()),
            "it is a link, which the run does not follow");
  EXPECT_EQ(fs::current_path(), start_);
}
#endif

}  // namespace
