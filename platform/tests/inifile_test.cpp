#include "platform/files.h"
#include "platform/inifile.h"
#include "platform/tests/full_disk.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include <future>
#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {
namespace fs = std::filesystem;

class IniFile : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "inifile_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    Dir = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(Dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(Dir, ec);
  }
  fs::path Put(const std::string& name, const std::string& text) {
    std::ofstream(Dir / name, std::ios::binary) << text;
    return Dir / name;
  }
  static std::string Contents(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
  }
  fs::path Dir;
};

TEST_F(IniFile, EveryValueFormSurvivesASaveAndReload) {
  const double reals[] = {4.7, 0.1, 1.0 / 3.0, -2.5e-12, 6.02214076e300, 0.0,
                          DBL_MAX, -DBL_MAX, DBL_TRUE_MIN};
  TIniFile out(Dir / "a.ini");
  out.WriteString("S", "Text", "Speakers (USB) \xB5");
  out.WriteInteger("S", "Max", INT_MAX); out.WriteInteger("S", "Min", INT_MIN);
  out.WriteBool("S", "Yes", true); out.WriteBool("S", "No", false);
  for (size_t i = 0; i < std::size(reals); ++i) out.WriteFloat("R", std::to_string(i), reals[i]);
  EXPECT_FALSE(out.WriteFloat("R", "0", std::nan(""))); // keeps the last good value
  ASSERT_TRUE(out.UpdateFile().Ok);

  const TIniFile in(Dir / "a.ini");
  EXPECT_EQ(in.ReadString("S", "Text", ""), "Speakers (USB) \xB5");
  EXPECT_EQ(in.ReadInteger("S", "Max", 0), INT_MAX);
  EXPECT_EQ(in.ReadInteger("S", "Min", 0), INT_MIN);
  EXPECT_TRUE(in.ReadBool("S", "Yes", false));
  EXPECT_FALSE(in.ReadBool("S", "No", true));
  for (size_t i = 0; i < std::size(reals); ++i)
    EXPECT_NEAR(in.ReadFloat("R", std::to_string(i), -1), reals[i], std::abs(reals[i]) * 1e-14);
  EXPECT_EQ(in.ReadString("R", "0", ""), "4.7");
  EXPECT_EQ(in.ReadString("R", "2", ""), "0.333333333333333");
}

TEST_F(IniFile, ValuesThatDoNotConvertGiveTheDefault) {
  struct Case { const char* text; int asInt; double asReal; bool asBool; };
  const Case cases[] = {
      {"42", 42, 42, true},          {" -7 ", -7, -7, true},        {"+5", 5, 5, true},
      {"0x1F", 31, -1, true},        {"-0x10", -16, -1, true},      {"0x0", 0, -1, false},
      {"0", 0, 0, false},            {"2147483648", -1, 2147483648.0, true},
      {"-2147483648", INT_MIN, -2147483648.0, true},              {"0x80000000", -1, -1, true},
      {"1.5", -1, 1.5, true},        {"1e-3", -1, 1e-3, true},      {"4,7", -1, -1, true},
      {"12abc", -1, -1, true},       {"", -1, -1, true},            {"0x", -1, -1, true},
      {"nan", -1, -1, true},         {"inf", -1, -1, true},         {"1e999", -1, -1, true},
      {"+-1", -1, -1, true},         {"true", -1, -1, true},
  };
  for (const Case& c : cases) {
    TIniFile ini(Dir / "none.ini");
    ASSERT_TRUE(ini.WriteString("S", "K", c.text));
    EXPECT_EQ(ini.ReadInteger("S", "K", -1), c.asInt) << c.text;
    EXPECT_EQ(ini.ReadFloat("S", "K", -1), c.asReal) << c.text;
    EXPECT_EQ(ini.ReadBool("S", "K", true), c.asBool) << c.text;
  }
}

TEST_F(IniFile, KeepsWhatItDoesNotUnderstandByteForByte) {
  const std::string text = "\xEF\xBB\xBF; comment before any section\r\n"
                           "[Unknown] trailing words\r\n  Key = spaced value  \r\nno equals\r\n"
                           "\xFF\xFE garbage \x01\x02=\x80\r\n\r\n[Dravik]\r\n# hash comment\r\n"
                           "Input=1\r\ninput=2\r\n[bad header\r\n=no key\r\n"
                           "Tail=3"; // no line end at the end of the file
  // Saved through a link to a file with its own permissions, both of which stay.
  const fs::path path = Put("keep.ini", text);
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(path, mode);
  fs::create_symlink(path, Dir / "link.ini");
  TIniFile ini(Dir / "link.ini");
  EXPECT_EQ(ini.LoadError(), "");
  EXPECT_TRUE(ini.SectionExists("UNKNOWN"));
  EXPECT_FALSE(ini.ValueExists("Dravik", "[bad header"));
  EXPECT_EQ(ini.ReadInteger("DRAVIK", "INPUT", 0), 1); // first of the repeated keys
  EXPECT_EQ(ini.ReadString("unknown", "key", ""), "spaced value");
  EXPECT_EQ(ini.ReadInteger("Dravik", "Tail", 0), 3);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Unknown", "Dravik"}));
  EXPECT_EQ(ini.ReadSection("dravik"), (std::vector<std::string>{"Input", "Tail"}));
  EXPECT_TRUE(ini.WriteInteger("Dravik", "Input", 1)); // unchanged value, line untouched
  EXPECT_TRUE(ini.WriteString("Unknown", "KEY", "spaced value"));
  ASSERT_TRUE(ini.UpdateFile().Ok);
  EXPECT_EQ(Contents(path), text);
  EXPECT_TRUE(fs::is_symlink(Dir / "link.ini"));
  EXPECT_EQ(fs::status(path).permissions(), mode);
}

// Only regular files are read and replaced: a pipe, a socket, a device node or a folder under
// the settings file's name, or a link that leads to one or to nothing, is never opened for
// writing nor replaced, and reading it neither blocks nor gives any settings.
TEST_F(IniFile, OnlyRegularFilesAreReadOrReplaced) {
  const auto fifo = [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); };
  const auto socket = [](const fs::path& p) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", p.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
  };
  // A node like /dev/null's, inside the scratch folder; only the superuser may make one.
  const auto device = [](const fs::path& p) {
    if (::geteuid() != 0) GTEST_SKIP() << "making a device node needs the superuser";
    ASSERT_EQ(::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  };
  const auto folder = [](const fs::path& p) { fs::create_directory(p); };
  struct Case {
    const char* Name;
    std::function<void(const fs::path&)> Make;
    bool Linked;     // the settings file is a link to what Make made
    bool ReadError;  // reading says why it gives nothing
  };
  const Case cases[] = {
      {"a named pipe", fifo, false, true},   {"a link to a named pipe", fifo, true, true},
      {"a socket", socket, false, true},     {"a device node", device, false, true},
      {"a link to a device node", device, true, true}, {"a folder", folder, false, true},
      {"a link that leads nowhere", [](const fs::path&) {}, true, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path target = Dir / ("target" + std::to_string(n));
    const fs::path name = Dir / ("settings" + std::to_string(n++) + ".ini");
    c.Make(target);
    if (testing::Test::IsSkipped()) continue;
    if (c.Linked) fs::create_symlink(target, name);
    const fs::path& file = c.Linked ? name : target;
    const fs::file_type before = fs::symlink_status(target).type();
    // Read on a thread of its own, so that a read that blocks fails the test instead of hanging it.
    auto reading = std::async(std::launch::async, [&] { return std::make_unique<TIniFile>(file); });
    if (reading.wait_for(std::chrono::seconds(2)) != std::future_status::ready) {
      ADD_FAILURE() << "reading blocked";
      std::ofstream(target) << ""; // a writer lets the read end
    }
    const std::unique_ptr<TIniFile> ini = reading.get();
    EXPECT_EQ(!ini->LoadError().empty(), c.ReadError) << ini->LoadError();
    ini->WriteString("S", "K", "v");
    const TSaveResult saved = ini->UpdateFile();
    EXPECT_FALSE(saved.Ok);
    EXPECT_EQ(fs::symlink_status(target).type(), before) << saved.Error;
    // As the results file is written: without reading it first.
    const std::optional<TWriteFailure> replaced = ReplaceFile(file, "x");
    EXPECT_TRUE(replaced && replaced->Refused);
    EXPECT_EQ(fs::symlink_status(target).type(), before);
    if (c.Linked) {
      EXPECT_TRUE(fs::is_symlink(name));
    }
  }
  // A link to a regular file in another folder replaces that file there and stays a link.
  fs::create_directory(Dir / "elsewhere");
  const fs::path real = Put("elsewhere/real.ini", "[S]\nK=old\n");
  fs::create_symlink(real, Dir / "linked.ini");
  TIniFile linked(Dir / "linked.ini");
  linked.WriteString("S", "K", "new");
  ASSERT_TRUE(linked.UpdateFile().Ok);
  EXPECT_EQ(Contents(real), "[S]\nK=new\n");
  EXPECT_TRUE(fs::is_symlink(Dir / "linked.ini"));
}

// A file in UTF-16 is refused with a message and never written back in two encodings.
TEST_F(IniFile, AFileInUtf16IsRefusedAndKept) {
  for (const std::string& bom : {std::string("\xFF\xFE"), std::string("\xFE\xFF")}) {
    const std::string text = bom + std::string("[\0S\0]\0\n\0", 8);
    const fs::path path = Put("utf16.ini", text);
    TIniFile ini(path);
    EXPECT_NE(ini.LoadError().find("UTF-16"), std::string::npos) << ini.LoadError();
    ini.WriteString("S", "K", "v");
    EXPECT_FALSE(ini.UpdateFile().Ok);
    EXPECT_EQ(Contents(path), text);
  }
}

// The temporary files of a program that ended between writing and renaming go at the next
// save; a running program's stay.
TEST_F(IniFile, TemporariesLeftByAnEndedProgramAreRemovedAtTheNextSave) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);
  const fs::path left = Put(".a.ini.tmp" + std::to_string(child) + "-0", "half");
  const fs::path running = Put(".a.ini.tmp" + std::to_string(::getpid()) + "-99", "in use");
  TIniFile ini(Dir / "a.ini");
  ini.WriteString("S", "K", "v");
  ASSERT_TRUE(ini.UpdateFile().Ok);
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(running));
}

// Two windows on one settings file: the one that closes last keeps what the other saved in
// the sections it did not change itself, so a fresh calibration made in the other is not lost.
TEST_F(IniFile, ASaveMergesWhatAnotherWindowSavedMeanwhile) {
  const std::string start = "[Dravik]\nRref=10\n\n[Calibration]\nAttVal00=1\n";
  const struct {
    const char* Name;
    std::function<void(TIniFile&)> First, Second;
    std::string After;
  } cases[] = {
      {"the other's calibration stays",
       [](TIniFile& f) { f.WriteString("Calibration", "AttVal00", "1.02"); },
       [](TIniFile& f) {
         f.WriteString("Dravik", "Rref", "47");
         f.WriteString("Calibration", "AttVal00", "1"); // written back unchanged at close
       },
       "[Dravik]\nRref=47\n\n[Calibration]\nAttVal00=1.02\n"},
      {"both changed one section: the last save wins it",
       [](TIniFile& f) { f.WriteString("Dravik", "Rref", "22"); },
       [](TIniFile& f) { f.WriteString("Dravik", "Rref", "47"); },
       "[Dravik]\nRref=47\n\n[Calibration]\nAttVal00=1\n"},
      {"a section only the other wrote is kept",
       [](TIniFile& f) { f.WriteString("Graph", "LogF", "1"); },
       [](TIniFile& f) { f.WriteString("Dravik", "Rref", "47"); },
       "[Dravik]\nRref=47\n\n[Calibration]\nAttVal00=1\n\n[Graph]\nLogF=1\n"},
      {"nothing saved meanwhile: the file as this one holds it",
       [](TIniFile&) {},
       [](TIniFile& f) { f.WriteString("Calibration", "AttVal00", "0.98"); },
       "[Dravik]\nRref=10\n\n[Calibration]\nAttVal00=0.98\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path path = Put("two.ini", start);
    TIniFile first(path), second(path);
    c.First(first);
    if (first.Text() != start) {
      ASSERT_TRUE(first.UpdateFile().Ok);
    }
    c.Second(second);
    ASSERT_TRUE(second.UpdateFile().Ok);
    EXPECT_EQ(Contents(path), c.After);
  }
}

TEST_F(IniFile, EditsLandWhereAPersonWouldPutThem) {
  using Edit = std::function<void(TIniFile&)>;
  struct Case { const char* name; std::string before; Edit edit; std::string after; };
  const Case cases[] = {
      {"changed value keeps spelling and spacing", "[A]\nMyKey = 1\n",
       [](TIniFile& f) { f.WriteInteger("a", "mykey", 2); }, "[A]\nMyKey = 2\n"},
      {"only the first repeated key changes", "[A]\nk=1\nk=1\n",
       [](TIniFile& f) { f.WriteInteger("A", "k", 5); }, "[A]\nk=5\nk=1\n"},
      {"new key before trailing blank lines", "[A]\nk=1\n\n\n[B]\n",
       [](TIniFile& f) { f.WriteString("A", "n", "x"); }, "[A]\nk=1\nn=x\n\n\n[B]\n"},
      {"new section at the end, CRLF kept", "[A]\r\nk=1",
       [](TIniFile& f) { f.WriteBool("B", "b", true); }, "[A]\r\nk=1\r\n\r\n[B]\r\nb=1\r\n"},
      {"one unended line with CR, CRLF taken", "[A]\r",
       [](TIniFile& f) { f.WriteBool("B", "b", true); }, "[A]\r\r\n\r\n[B]\r\nb=1\r\n"},
      {"an unended last line with CR keeps the first line's LF", "[A]\nk=1\r",
       [](TIniFile& f) { f.WriteBool("B", "b", true); }, "[A]\nk=1\r\n\n[B]\nb=1\n"},
      {"new file", "",
       [](TIniFile& f) { f.WriteInteger("A", "k", 1); f.WriteInteger("B", "k", 2); },
       "[A]\nk=1\n\n[B]\nk=2\n"},
      {"erase removes every copy of the section", "[A]\nk=1\n[B]\nx=1\n[a]\nk=2\n",
       [](TIniFile& f) { f.EraseSection("A"); }, "[B]\nx=1\n"},
      {"an erased section written again keeps its place", "[A]\n[R]\nCount=3\nValue0=1\n[C]\n",
       [](TIniFile& f) { f.EraseSection("R"); f.WriteInteger("R", "Count", 0); },
       "[A]\n[R]\nCount=0\n[C]\n"},
      {"an erased section written again keeps the blank line after it",
       "[A]\n\n[R]\nCount=3\n\n[C]\n",
       [](TIniFile& f) { f.EraseSection("R"); f.WriteInteger("R", "Count", 0); },
       "[A]\n\n[R]\nCount=0\n\n[C]\n"},
      {"after the first section is erased, new lines end as the text left begins",
       "[A]\nk=1\n[B]\r\nx=1\r\n",
       [](TIniFile& f) { f.EraseSection("A"); f.WriteInteger("C", "k", 1); },
       "[B]\r\nx=1\r\n\r\n[C]\r\nk=1\r\n"},
      {"an erased section takes its blank lines along", "[A]\n\n[R]\nCount=3\n\n[C]\n",
       [](TIniFile& f) { f.EraseSection("R"); f.WriteInteger("D", "k", 1); },
       "[A]\n\n[C]\n\n[D]\nk=1\n"},
      {"line breaks in a value cannot start new lines", "",
       [](TIniFile& f) { f.WriteString("A", "k", "x\n[B]\r\ny=1"); }, "[A]\nk=x [B]  y=1\n"},
      {"names the format cannot hold are refused", "[A]\n",
       [](TIniFile& f) {
         for (auto key : {"", " k", "k=v", "[k", ";k", "#k", "a\nb"})
           EXPECT_FALSE(f.WriteInteger("A", key, 1)) << key;
         for (auto section : {"", "A]", "B\n", " A"})
           EXPECT_FALSE(f.WriteInteger(section, "k", 1)) << section;
       },
       "[A]\n"},
  };
  for (const Case& c : cases) {
    TIniFile ini(Put("edit.ini", c.before));
    c.edit(ini);
    EXPECT_EQ(ini.Text(), c.after) << c.name;
  }
}

TEST_F(IniFile, NumbersUseAPointWhateverTheLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  TIniFile ini(Dir / "locale.ini");
  ini.WriteFloat("A", "R", 4.7);
  ini.WriteString("A", "Comma", "4,7");
  const std::string text = ini.Text();
  const double point = ini.ReadFloat("A", "R", 0), comma = ini.ReadFloat("A", "Comma", -1);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(text, "[A]\nR=4.7\nComma=4,7\n");
  EXPECT_EQ(point, 4.7);
  EXPECT_EQ(comma, -1);
}

TEST_F(IniFile, SettingsLiveBesideTheProgramOrInTheConfigurationFolder) {
  fs::create_directories(Dir / "bin.d");
  fs::create_directory_symlink(Dir / "bin.d", Dir / "bin.link");
  Put("not-a-folder", "");
  const fs::path config = Dir / "xdg" / "new";
  const fs::path installed = Dir / "bin.d"; // the build's install folder, writable as for root
  struct Case {
    fs::path exe;
    std::string configHome, home, extension;
    fs::path installedFolder, expected;
  };
  std::vector<Case> cases = {
      {Dir / "bin.d" / "Dravik", config, "", ".ini", {}, Dir / "bin.d" / "Dravik.ini"},
      {Dir / "bin.d" / "Sorvane.exe", "", "", ".txt", {}, Dir / "bin.d" / "Sorvane.txt"},
      {Dir / "not-a-folder" / "Dravik", config, "", ".ini", {}, config / "Dravik.ini"},
      {Dir / "missing" / "Sorvane.bin", "", Dir / "home", ".ini", {},
       Dir / "home/.config/Sorvane.ini"},
      {Dir / "missing" / "Dravik", "relative/dir", Dir / "home", ".ini", {},
       Dir / "home/.config/Dravik.ini"},
      // An installed copy uses the user's folder although it could write its own.
      {Dir / "bin.d" / "Dravik", config, "", ".ini", installed, config / "Dravik.ini"},
      {Dir / "bin.d" / "Sorvane", "", Dir / "home", ".txt", installed,
       Dir / "home/.config/Sorvane.txt"},
      {Dir / "bin.link" / "Dravik", config, "", ".ini", installed, config / "Dravik.ini"},
      {Dir / "bin.d" / "Dravik", config, "", ".ini", Dir / "bin.link/", config / "Dravik.ini"},
      {Dir / "bin.d" / "Sorvane", config, "", ".png", Dir / "bin.d/", config / "Sorvane.png"},
      // A copy elsewhere stays portable; an installed one with no user folder has nowhere else.
      {Dir / "bin.d" / "Dravik", config, "", ".ini", Dir / "usr/bin", Dir / "bin.d" / "Dravik.ini"},
      {Dir / "bin.d" / "Sorvane", "", "", ".ini", installed, Dir / "bin.d" / "Sorvane.ini"},
  };
  if (::geteuid() != 0) { // permission bits do not stop the superuser
    fs::create_directories(Dir / "locked");
    fs::permissions(Dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    cases.push_back({Dir / "locked" / "Dravik", config, "", ".ini", {}, config / "Dravik.ini"});
  }
  for (const Case& c : cases) {
    const TProgramLocation where{c.exe, c.configHome, c.home, c.installedFolder};
    EXPECT_EQ(ProgramFilePath(c.extension, where), c.expected) << c.exe << " in " << c.installedFolder;
    EXPECT_TRUE(fs::is_directory(c.expected.parent_path())) << c.exe;
  }
  EXPECT_EQ(SettingsFilePath({Dir / "bin.d" / "Dravik", "", "", {}}), Dir / "bin.d" / "Dravik.ini");
}

TEST_F(IniFile, AFailedSaveSaysWhyAndLeavesTheOldFileAlone) {
  const std::string old = "[A]\nk=old\n";
  struct Case {
    const char* name;
    std::function<fs::path()> prepare;
    const char* reason;
    rlim_t room = 0; // bytes a file may grow to while saving, as on a full disk; 0: no limit
  };
  std::vector<Case> cases = {
      {"folder missing", [&] { return Dir / "missing" / "a.ini"; }, "No such file or directory"},
      {"path is a folder", [&] { fs::create_directories(Dir / "d.ini"); return Dir / "d.ini"; },
       "could not be read (not a regular file)"},
      {"disk full", [&] { return Put("full.ini", old); }, "File too large", 512},
  };
  if (::geteuid() != 0) // permission bits do not stop the superuser
    cases.push_back({"write-protected file", [&] {
                       const fs::path path = Put("ro.ini", old);
                       fs::permissions(path, fs::perms::owner_read);
                       return path;
                     }, "write-protected"});
  for (const Case& c : cases) {
    const fs::path path = c.prepare();
    TIniFile ini(path);
    ini.WriteString("A", "k", std::string(4096, 'x'));
    std::optional<testfiles::TFullDisk> full;
    if (c.room) full.emplace(c.room);
    const TSaveResult result = ini.UpdateFile();
    full.reset();
    EXPECT_FALSE(result.Ok) << c.name;
    EXPECT_NE(result.Error.find(path.string()), std::string::npos) << result.Error;
    EXPECT_NE(result.Error.find(c.reason), std::string::npos) << result.Error;
  }
  for (const fs::path& kept : {Dir / "full.ini", Dir / "ro.ini"})
    if (fs::exists(kept)) {
      EXPECT_EQ(Contents(kept), old) << kept;
    }
  EXPECT_TRUE(fs::is_directory(Dir / "d.ini"));
  // Nothing but the files prepared above: no temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), {}), static_cast<long>(cases.size() - 1));
}

} // namespace
} // namespace platform
