// Every file the program writes, through the command that writes it, against one table of
// cases: links, permissions, read-only folders, a full disk. Each case expects one behaviour,
// the same for every file; a write that fails leaves the old file whole and is told.
//
// On POSIX systems the writes run in a child process as an ordinary user (65534 when the tests
// run as root, as they do in CI: root ignores file permissions, so no permission case would
// fail), with its own umask, and for the full disk with a small file size limit. Windows has
// neither those users nor those limits; there the table holds what its files carry instead:
// the read-only and hidden marks.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "files/list_file.h"
#include "list/store_notices.h"
#include "platform/atomic_replace.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"
#include "platform/wtf8.h"
#include "store/reg_file_reader.h"
#include "store/registry_file.h"
#include "store/typed_address_store.h"
#include "support/files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "support/child_process.h"
#include "support/hive_tools.h"
#endif

namespace tavelin {
namespace {

namespace fs = std::filesystem;
using support::ReadBytes;

// Longer than the full disk's size limit, so that the write of it fails part way.
constexpr char kNewText[] = "the new content, longer than the size limit";
constexpr unsigned long kSizeLimit = 8;

// Whether a command reached the file, and what it told the user.
struct WriteOutcome {
  bool ok = false;
  std::string told;
};

// One kind of file the program writes, and the command that writes it.
struct Writer {
  const char* name;
  const char* fileName;                     // as a user names such a file
  std::string oldBytes;                     // a file of this kind, as it was before the command
  unsigned (*newFileMode)(unsigned umask);  // POSIX permissions of a file it creates
  // The files the writer keeps beside its file.
  std::vector<std::string> (*companions)(const std::string& fileName);
  // Writes kNewText.
  WriteOutcome (*write)(const fs::path& path);
  // Whether the bytes are the file holding kNewText.
  bool (*holdsNew)(const std::string& bytes);
};

WriteOutcome WriteHive(const fs::path& path) {
  RegFileRegistry registry(path);
  const bool ok = modReg::WriteRegString(registry, kCurrentUser, "Software\\K", "a", kNewText);
  std::string told;
  for (const std::string& notice : TakeStoreNotices(registry)) told += notice;
  return {ok, told};
}

bool HiveHoldsNew(const std::string& bytes) {
  const RegParseResult parsed = ParseRegFile(bytes);
  if (!parsed.document) return false;
  const RegFileKey* key = parsed.document->findKey(RegFileKeyPath(kCurrentUser, "Software\\K"));
  const std::optional<RegValueView> value = key ? key->find("a") : std::nullopt;
  const std::string text = TextToUtf16LeBytes(Wtf8ToUtf16(kNewText)) + std::string(2, '\0');
  return value && value->type == regtype::kSz &&
         std::string(value->data.begin(), value->data.end()) == text;
}

WriteOutcome WriteList(const fs::path& path) {
  const FileResult result = WriteListFile(platform::PathText(path), {kNewText});
  return {result.ok, result.error};
}

const Writer kWriters[] = {
    {"RegFile", "HKEY_CURRENT_USER.reg",
     "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\K]\r\n\"a\"=\"old\"\r\n\r\n",
     // Registry data is the user's own, whatever the umask allows.
     [](unsigned) -> unsigned { return 0600; },
     [](const std::string& name) { return std::vector<std::string>{name + ".lock"}; }, WriteHive,
     HiveHoldsNew},
    {"ListFile", "addresses.txt", "old\r\n",
     [](unsigned umask) -> unsigned { return 0666 & ~umask; },
     [](const std::string&) { return std::vector<std::string>{}; }, WriteList,
     [](const std::string& bytes) { return bytes == std::string(kNewText) + "\r\n"; }},
};

// Every entry under `root`, as paths relative to it.
std::set<std::string> Listing(const fs::path& root) {
  std::set<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    // Lexically: the links themselves are entries, not what they point to.
    entries.insert(entry.path().lexically_relative(root).string());
  }
  return entries;
}

#ifndef _WIN32

// What a case sets up, and what it expects.
struct Scene {
  fs::path given;                  // the path the command is given
  fs::path file;                   // the file at its end, which the write must reach
  std::vector<fs::path> links;     // links on the way, which must stay as they are
  support::ChildSetup child;       // the writer's process
  bool written = true;             // whether the write must succeed
  mode_t mode = 0;                 // the file's permissions afterwards
  uid_t owner = 0;                 // its owner afterwards
  std::string reason;              // for a refused write: what the message must say
  std::vector<fs::path> readOnly;  // folders made read-only once set up
};

// Files and folders for the case, given to the user the child runs as.
class Arrangement {
 public:
  explicit Arrangement(const fs::path& root) : root_(root) {}
  fs::path folder(const std::string& name, uid_t uid = support::UnprivilegedUser()) const {
    const fs::path path = root_ / name;
    fs::create_directories(path);
    own(path, uid, 0755);
    return path;
  }
  void file(const fs::path& path, const std::string& bytes, mode_t mode,
            uid_t uid = support::UnprivilegedUser()) const {
    support::WriteBytes(path, bytes);
    own(path, uid, mode);
  }
  void link(const fs::path& path, const fs::path& target) const {
    fs::create_symlink(target, path);
    if (support::RunningAsRoot()) {
      EXPECT_EQ(::lchown(path.c_str(), support::UnprivilegedUser(), support::UnprivilegedGroup()),
                0);
    }
  }

 private:
  static void own(const fs::path& path, uid_t uid, mode_t mode) {
    if (support::RunningAsRoot()) {
      const gid_t gid = uid == 0 ? 0 : support::UnprivilegedGroup();
      EXPECT_EQ(::chown(path.c_str(), uid, gid), 0) << path;
    }
    EXPECT_EQ(::chmod(path.c_str(), mode), 0) << path;
  }
  fs::path root_;
};

struct Case {
  const char* name;
  bool needsRoot;  // gives a file to another user
  Scene (*arrange)(const Arrangement& setup, const Writer& writer, const std::string& fileName);
};

support::ChildSetup Unprivileged(mode_t umask = 022) {
  support::ChildSetup child;
  child.unprivileged = true;
  child.umask = umask;
  return child;
}

const Case kCases[] = {
    {"ReplacesAFileAndKeepsItsPermissions", false,
     [](const Arrangement& setup, const Writer& writer, const std::string& name) {
       Scene s;
       s.given = s.file = setup.folder("work") / name;
       setup.file(s.file, writer.oldBytes, 0640);
       s.child = Unprivileged();
       s.mode = 0640;
       s.owner = support::UnprivilegedUser();
       return s;
     }},
    {"CreatesANewFileWithTheModeOfItsKind", false,
     [](const Arrangement& setup, const Writer& writer, const std::string& name) {
       Scene s;
       s.given = s.file = setup.folder("work") / name;
       s.child = Unprivileged(002);
       s.mode = writer.newFileMode(002);
       s.owner = support::UnprivilegedUser();
       return s;
     }},
    {"FollowsADanglingLink", false,
     [](const Arrangement& setup, const Writer& writer, const std::string& name) {
       Scene s;
       s.given = setup.folder("work") / name;
       s.file = setup.folder("elsewhere") / ("real-" + name);
       setup.link(s.given, fs::path("..") / "elsewhere" / s.file.filename());
       s.links = {s.given};
       s.child = Unprivileged(027);
       s.mode = writer.newFileMode(027);
       s.owner = support::UnprivilegedUser();
       return s;
     }},
    {"FollowsALinkToALink", false,
     [](const Arrangement& setup, const Writer& writer, const std::string& name) {
       // work/<name> -> through/middle, where work/through -> ../deep/inner is a linked
       // folder, and deep/inner/middle -> ../real-<name>. Each relative link counts from the
       // folder it really lies in, so its ".." leads out of deep/inner, not out of work/through.
       Scene s;
       s.given = setup.folder("work") / name;
       const fs::path through = s.given.parent_path() / "through";
       const fs::path middle = setup.folder("deep/inner") / "middle";
       s.file = setup.folder("deep") / ("real-" + name);
       setup.link(s.given, fs::path("through") / "middle");
       setup.link(through, fs::path("..") / "deep" / "inner");
       setup.link(middle, fs::path("..") / s.file.filename());
       setup.file(s.file, writer.oldBytes, 0640);
       s.links = {s.given, through, middle};
       s.child = Unprivileged();
       s.mode = 0640;
       s.owner = support::UnprivilegedUser();
       return s;
     }},
    {"RefusesAReadOnlyFolder", false,
     [](const Arrangement& setup, const Writer& writer, const std::string& name) {
       Scene s;
       const fs::path folder = setup.folder("work");
       s.given = s.file = folder / name;
       setup.file(s.file, writer.oldBytes, 0644);
       // Its companions are there already, so that only the replacement needs the folder.
       for (const std::string& companion : writer.companions(name)) {
         setup.file(folder / companion, "", 0600);
       }
       s.readOnly = {folder};
       s.child = Unprivileged();
       s.written = false;
       s.mode = 0644;
       s.owner = support::UnprivilegedUser();
       s.reason = platform::SystemErrorText(EACCES);
       return s;
     }},
    {"RefusesAReadOnlyFile", false,
     [](const Arrangement& setup, const Writer& writer, const std::string& name) {
       // Its folder would let a rename replace it; the file says no.
       Scene s;
       s.given = s.file = setup.folder("work") / name;
       setup.file(s.file, writer.oldBytes, 0444);
       s.child = Unprivileged();
       s.written = false;
       s.mode = 0444;
       s.owner = support::UnprivilegedUser();
       s.reason = "read-only";
       return s;
     }},
    {"RefusesAFileWhoseOwnerCannotBeKept", true,
     [](const Arrangement& setup, const Writer& writer, const std::string& name) {
       // Another user's file, writable by anyone, in a folder anyone may write to: the
       // writer could replace it, but the new file would be the writer's own. (A file the
       // writer may not write is refused before that, as read-only.)
       Scene s;
       const fs::path folder = setup.folder("shared", 0);
       ::chmod(folder.c_str(), 0777);
       s.given = s.file = folder / name;
       setup.file(s.file, writer.oldBytes, 0666, 0);
       s.child = Unprivileged();
       s.written = false;
       s.mode = 0666;
       s.owner = 0;
       s.reason = platform::SystemErrorText(EPERM);
       return s;
     }},
    {"RefusesAFullDisk", false,
     [](const Arrangement& setup, const Writer& writer, const std::string& name) {
       Scene s;
       s.given = s.file = setup.folder("work") / name;
       setup.file(s.file, writer.oldBytes, 0644);
       s.child = Unprivileged();
       s.child.fileSizeLimit = kSizeLimit;
       s.written = false;
       s.mode = 0644;
       s.owner = support::UnprivilegedUser();
       s.reason = platform::SystemErrorText(EFBIG);
       return s;
     }},
};

std::string Relative(const fs::path& path, const fs::path& root) {
  return path.lexically_normal().lexically_relative(root).string();
}

using WriterCase = std::tuple<Writer, Case>;

class FileWriters : public ::testing::TestWithParam<WriterCase> {
 protected:
  void SetUp() override {
    // The child's user must be able to reach the case's folders.
    ASSERT_EQ(::chmod(folder_.path().c_str(), 0755), 0);
  }
  void TearDown() override {
    // A read-only folder would keep its files from being removed by anyone but root.
    for (const auto& entry : fs::recursive_directory_iterator(folder_.path())) {
      if (entry.is_directory() && !entry.is_symlink()) ::chmod(entry.path().c_str(), 0755);
    }
  }

  support::TemporaryFolder folder_{"writers"};
};

TEST_P(FileWriters, OneRuleForEveryFile) {
  const auto& [writer, c] = GetParam();
  if (c.needsRoot && !support::RunningAsRoot()) {
    GTEST_SKIP() << "only root can give a file to another user";
  }
  const fs::path root = folder_.path();
  const Scene scene = c.arrange(Arrangement(root), writer, writer.fileName);
  std::vector<std::string> linkTargets;
  for (const fs::path& link : scene.links) linkTargets.push_back(fs::read_symlink(link).string());
  std::set<std::string> expectedEntries = Listing(root);
  expectedEntries.insert(Relative(scene.file, root));
  for (const std::string& companion : writer.companions(scene.file.filename().string())) {
    expectedEntries.insert(Relative(scene.file.parent_path() / companion, root));
  }
  for (const fs::path& folder : scene.readOnly) ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);

  const fs::path given = scene.given;
  const Writer& w = writer;
  const support::ChildResult child = support::RunInChild(scene.child, [&] {
    const WriteOutcome outcome = w.write(given);
    return support::WorkResult{outcome.ok, outcome.told};
  });
  ASSERT_TRUE(child.ran) << child.problem;

  const std::string bytes = ReadBytes(scene.file);
  if (scene.written) {
    EXPECT_TRUE(child.work.ok) << child.work.message;
    EXPECT_EQ(child.work.message, "") << "a write that succeeded was told as a failure";
    EXPECT_TRUE(writer.holdsNew(bytes)) << bytes;
  } else {
    EXPECT_FALSE(child.work.ok) << "the write was reported as a success";
    EXPECT_NE(child.work.message.find(platform::PathText(scene.given)), std::string::npos)
        << "the message does not name the file: " << child.work.message;
    EXPECT_NE(child.work.message.find(scene.reason), std::string::npos)
        << "the message does not say why: " << child.work.message;
  }
  if (!scene.written) {
    EXPECT_EQ(bytes, writer.oldBytes) << "the old file was not left whole";
  }

  struct stat info {};
  ASSERT_EQ(::stat(scene.file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, scene.mode) << std::oct << (info.st_mode & 07777);
  EXPECT_EQ(info.st_uid, scene.owner);
  for (std::size_t i = 0; i < scene.links.size(); ++i) {
    EXPECT_TRUE(fs::is_symlink(scene.links[i])) << scene.links[i] << " was replaced";
    EXPECT_EQ(fs::read_symlink(scene.links[i]).string(), linkTargets[i]);
  }
  // Nothing else appeared: no temporary left behind, no file beside a link instead of behind it.
  EXPECT_EQ(Listing(root), expectedEntries);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileWriters,
                         ::testing::Combine(::testing::ValuesIn(kWriters),
                                            ::testing::ValuesIn(kCases)),
                         [](const ::testing::TestParamInfo<WriterCase>& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::get<1>(info.param).name;
                         });

// What the mode bits do not say about who may use a file: its access control list (here one
// that lets another user write it), and marks other programs keep on it. `getfacl` reads the
// list as any user would see it.
TEST(FileWriterAttributes, AReplacedFileKeepsItsAccessControlListAndExtendedAttributes) {
  if (std::system("command -v setfacl >/dev/null && command -v getfacl >/dev/null") != 0) {
    GTEST_SKIP() << "setfacl and getfacl are not installed (Debian package acl)";
  }
  for (const Writer& writer : kWriters) {
    SCOPED_TRACE(writer.name);
    support::TemporaryFolder folder{"attributes"};
    const fs::path file = folder / writer.fileName;
    support::WriteBytes(file, writer.oldBytes);
    ::chmod(file.c_str(), 0640);
    const std::string mark = "kept by another program";
    if (::setxattr(file.c_str(), "user.tavelin-test", mark.data(), mark.size(), 0) != 0 ||
        std::system(("setfacl -m u:65534:rw '" + file.string() + "'").c_str()) != 0) {
      GTEST_SKIP() << "this file system keeps no extended attributes or access control lists";
    }
    const auto acl = [&] {
      return support::CommandOutput("getfacl --omit-header '" + file.string() + "'").value_or("");
    };
    const std::string before = acl();
    ASSERT_NE(before.find("user:nobody:rw-"), std::string::npos) << before;

    const WriteOutcome outcome = writer.write(file);
    EXPECT_TRUE(outcome.ok) << outcome.told;
    EXPECT_TRUE(writer.holdsNew(ReadBytes(file)));
    EXPECT_EQ(acl(), before);
    char value[64] = {};
    const ssize_t size = ::getxattr(file.c_str(), "user.tavelin-test", value, sizeof value);
    EXPECT_EQ(std::string(value, size > 0 ? static_cast<std::size_t>(size) : 0), mark);
  }
}

#else  // _WIN32

struct WindowsCase {
  const char* name;
  DWORD attributes;  // the old file's
  bool written;
};

const WindowsCase kWindowsCases[] = {
    {"ReplacesAHiddenFileAndKeepsItsMarks", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, true},
    {"RefusesAReadOnlyFile", FILE_ATTRIBUTE_READONLY, false},
};

using WindowsWriterCase = std::tuple<Writer, WindowsCase>;

class FileWriters : public ::testing::TestWithParam<WindowsWriterCase> {
 protected:
  void TearDown() override { SetFileAttributesW(file_.c_str(), FILE_ATTRIBUTE_NORMAL); }

  support::TemporaryFolder folder_{"writers"};
  const fs::path file_ = folder_ / std::get<0>(GetParam()).fileName;
};

TEST_P(FileWriters, OneRuleForEveryFile) {
  const auto& [writer, c] = GetParam();
  support::WriteBytes(file_, writer.oldBytes);
  std::set<std::string> expectedEntries = Listing(folder_.path());
  for (const std::string& companion : writer.companions(file_.filename().string())) {
    expectedEntries.insert(companion);
  }
  ASSERT_TRUE(SetFileAttributesW(file_.c_str(), c.attributes));

  const WriteOutcome result = writer.write(file_);
  const std::string bytes = ReadBytes(file_);
  if (c.written) {
    EXPECT_TRUE(result.ok) << result.told;
    EXPECT_EQ(result.told, "");
    EXPECT_TRUE(writer.holdsNew(bytes)) << bytes;
  } else {
    EXPECT_FALSE(result.ok) << "the write was reported as a success";
    EXPECT_NE(result.told.find(platform::PathText(file_)), std::string::npos)
        << "the message does not name the file: " << result.told;
    EXPECT_EQ(bytes, writer.oldBytes) << "the old file was not left whole";
  }
  constexpr DWORD kMarks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;
  EXPECT_EQ(GetFileAttributesW(file_.c_str()) & kMarks, c.attributes & kMarks);
  EXPECT_EQ(Listing(folder_.path()), expectedEntries) << "a temporary was left behind";
}

INSTANTIATE_TEST_SUITE_P(Cases, FileWriters,
                         ::testing::Combine(::testing::ValuesIn(kWriters),
                                            ::testing::ValuesIn(kWindowsCases)),
                         [](const ::testing::TestParamInfo<WindowsWriterCase>& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::get<1>(info.param).name;
                         });

#endif  // _WIN32

}  // namespace
}  // namespace tavelin
