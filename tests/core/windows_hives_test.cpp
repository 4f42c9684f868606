// Which Windows users' hives "Open hive" finds on the mounted file systems, on folder trees
// made for the test with a mount table handed in. POSIX only: the Linux program looks for them.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/windows_hives.h"
#include "support/files.h"

namespace tavelin {
namespace {

namespace fs = std::filesystem;

TEST(MountTable, MountPointsAndTypesAreReadWithTheirEscapes) {
  const std::string table =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "40 22 8:3 / /media/u/Windows\\040Disk rw,nosuid - fuseblk /dev/sda3 rw\n"
      "41 22 0:50 / /srv/share rw - nfs4 host:/share rw\n"
      "not a mount line\n"
      "42 22 8:4 / /mnt/no-optional rw - ntfs3 /dev/sda4 rw";
  const std::vector<MountPoint> mounts = ParseMountTable(table);
  ASSERT_EQ(mounts.size(), 4u);
  EXPECT_EQ(mounts[0].path, fs::path("/"));
  EXPECT_EQ(mounts[1].path, fs::path("/media/u/Windows Disk"));
  EXPECT_EQ(mounts[1].type, "fuseblk");
  EXPECT_EQ(mounts[2].type, "nfs4");
  EXPECT_EQ(mounts[3].path, fs::path("/mnt/no-optional"));
  EXPECT_EQ(mounts[3].type, "ntfs3");
}

TEST(FindWindowsHives, FindsEachUsersHiveInOrderWhateverTheCase) {
  support::TemporaryFolder root("windows-hives");
  const auto hive = [&](const fs::path& relative) {
    fs::create_directories((root / relative).parent_path());
    support::WriteBytes(root / relative, "regf");
  };
  hive("b/Users/zoe/NTUSER.DAT");
  hive("b/users/Bob/ntuser.dat");      // names in any case
  hive("b/Users/Default/NTUSER.DAT");  // shared profiles are left out
  hive("b/Users/Public/NTUSER.DAT");
  hive("b/Documents and Settings/All Users/NTUSER.DAT");
  hive("b/Documents and Settings/Default User/NTUSER.DAT");
  hive("b/DOCUMENTS AND SETTINGS/carl/NTUSER.DAT");  // Windows XP
  hive("b/Windows.old/Users/anna/NTUSER.DAT");       // a former installation
  hive("a/Users/yann/NTUSER.DAT");
  hive("a/Users/nohive/NTUSER.DAT.LOG1");
  fs::create_directories(root / "a/Users/folder/NTUSER.DAT");  // not a file
  hive("net/Users/eve/NTUSER.DAT");     // on a network mount: never looked at
  hive("deep/x/Users/dan/NTUSER.DAT");  // not at a mount's top

  const std::vector<MountPoint> mounts{{root / "b", "fuseblk"},      {root / "net", "cifs"},
                                       {root / "ssh", "fuse.sshfs"}, {root / "proc", "proc"},
                                       {root / "a", "ntfs3"},        {root / "deep", "ext4"},
                                       {root / "missing", "ntfs3"}};
  std::vector<std::string> found;
  for (const FoundHive& f : FindWindowsHives(mounts, SystemFolderView())) {
    EXPECT_EQ(f.hive.parent_path(), f.profile);
    found.push_back(fs::relative(f.hive, root.path()).generic_string());
  }
  EXPECT_EQ(found, (std::vector<std::string>{
                       "a/Users/yann/NTUSER.DAT",
                       "b/Windows.old/Users/anna/NTUSER.DAT",
                       "b/users/Bob/ntuser.dat",
                       "b/DOCUMENTS AND SETTINGS/carl/NTUSER.DAT",
                       "b/Users/zoe/NTUSER.DAT",
                   }));
}

}  // namespace
}  // namespace tavelin

#endif  // _WIN32
