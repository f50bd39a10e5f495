// What only Linux has: other users (the tests switch to "nobody" as root),
// file modes, FIFOs, /dev/full, names that are not UTF-8 or hold control
// characters, the XDG data directory. CliWindowsTest has the counterparts
// where the behaviour matters.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "cli/CliFixture.h"
#include "imaging/DecodedImage.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageWriter.h"
#include "support/VariableSetting.h"

// A program directory the user may not enter (run as an unprivileged user,
// since root enters any) must not make the command work in whatever the
// current directory is and report success.
TEST_F(CliTest, DirectoryThatCannotBeEnteredIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
  server_.Serve("/mofu/cache.db", CacheBytes(work_.Path(), {{"7", "a", "b", 1}}));
  TempDirectory current;
  ASSERT_EQ(::chmod(current.Path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(program_.Path().c_str(), 0700), 0);
  const Outcome outcome =
      Spawn({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
             Cli(), "--dir", program_.Path(), "--cache-host", server_.Host(),
             "update"},
            current.Path());
  EXPECT_EQ(outcome.status, 2) << outcome.err;
  EXPECT_NE(outcome.err.find("tintwise-cli: cannot enter directory: " + program_.Path()), std::string::npos)
      << outcome.err;
  EXPECT_TRUE(std::filesystem::is_empty(current.Path()));
  EXPECT_TRUE(std::filesystem::is_empty(program_.Path()));
}

// Output that cannot be written (here a full disk) makes any command fail.
TEST_F(CliTest, OutputThatCannotBeWrittenIsAFailure) {
  WriteWholeFile(work_.File("grey.bmp"), GreyBmp(100));
  const std::string cli = Cli();
  const std::vector<std::vector<std::string>> commands = {
      {cli, "--version"},
      {cli, "--help"},
      {cli, "--dir", program_.Path(), "signature", work_.File("grey.bmp")},
  };
  for (const auto& command : commands) {
    EXPECT_EQ(Spawn(command, "").status, 0) << command.back();
    const Outcome full = Spawn(command, "", "/dev/full");
    EXPECT_EQ(full.status, 1) << command.back();
    EXPECT_NE(full.err.find("tintwise-cli: cannot write the output"), std::string::npos) << full.err;
  }
}

// Where the files go: beside a writable, not installed program; in the user
// data directory for an installed copy (recognised by its desktop entry),
// made on first start; --dir over both.
TEST_F(CliTest, DataDirectoryFollowsTheInstallRule) {
  const std::string bin = work_.Path() + "usr/bin/";
  std::filesystem::create_directories(bin);
  std::filesystem::create_directories(work_.Path() + "usr/share/applications");
  std::filesystem::copy_file(Cli(), bin + "tintwise-cli");
  const std::string built = Cli();
  const std::string home = work_.Path() + "home", xdg = work_.Path() + "xdg";
  const char* const given = std::getenv("HOME");
  const std::string originalHome = given ? given : "";
  SetVariable("HOME", home);
  UnsetVariable("XDG_DATA_HOME");

  struct Case {
    const char* name;
    bool installed;
    const char* xdg;  // nullptr: unset
    std::vector<std::string> arguments;
    std::string printed;
  };
  const Case cases[] = {
      {"portable copy", false, nullptr, {"--print-dir"}, work_.Path() + "usr/bin"},
      {"installed, no XDG", true, nullptr, {"--print-dir"}, home + "/.local/share/tintwise"},
      {"installed, relative XDG", true, "rel", {"--print-dir"}, home + "/.local/share/tintwise"},
      {"installed, XDG", true, xdg.c_str(), {"--print-dir"}, xdg + "/tintwise"},
      {"installed, --dir after", true, xdg.c_str(), {"--print-dir", "--dir", program_.Path()},
       program_.Path().substr(0, program_.Path().size() - 1)},
  };
  for (const Case& c : cases) {
    if (c.installed) WriteWholeFile(work_.Path() + "usr/share/applications/tintwise.desktop", "");
    if (c.xdg) SetVariable("XDG_DATA_HOME", c.xdg);
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.begin(), bin + "tintwise-cli");
    const Outcome outcome = RunProgram(arguments);
    EXPECT_EQ(outcome.status, 0) << c.name << outcome.err;
    EXPECT_EQ(outcome.out, c.printed + "\n") << c.name;
    EXPECT_TRUE(std::filesystem::is_directory(c.printed)) << c.name;  // made on first start
    UnsetVariable("XDG_DATA_HOME");
  }
  // --version names the directory and the rule that chose it.
  const Outcome version = RunProgram({bin + "tintwise-cli", "--version"});
  EXPECT_NE(version.out.find("files: " + home + "/.local/share/tintwise (the user's data directory)"),
            std::string::npos)
      << version.out;
  // A data directory that cannot be made: the installed copy says so and fails.
  WriteWholeFile(work_.File("plain-file"), "");
  SetVariable("XDG_DATA_HOME", work_.File("plain-file"));
  const Outcome blocked = RunProgram({bin + "tintwise-cli", "--print-dir"});
  UnsetVariable("XDG_DATA_HOME");
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.out, "");
  EXPECT_NE(blocked.err.find("cannot make the data directory"), std::string::npos) << blocked.err;
  EXPECT_EQ(RunProgram({built, "--print-dir", "search", "a.png"}).status, 2);
  if (given) {
    SetVariable("HOME", originalHome);
  } else {
    UnsetVariable("HOME");
  }
}

// Root ignores permissions, so the program runs as "nobody": a program
// directory it cannot write (cache.db owned by root) and pictures on a
// read-only folder must still give the right signature and search.
TEST_F(CliTest, ReadOnlyProgramDirectoryAndPictureFolderWorkForAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
  namespace fs = std::filesystem;
  const fs::perms readable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec;
  WriteWholeFile(CacheFile(), CacheBytes(work_.Path(), {{"1", "dark", "p", 0}, {"7", "grey", "p", 100}}));
  const std::string program = Cli();
  fs::copy_file(program, work_.File("tintwise-cli"));
  fs::create_directory(work_.File("pictures"));
  WriteWholeFile(work_.File("pictures/grey.bmp"), GreyBmp(100));
  DecodedImage grey;
  ASSERT_TRUE(DecodeImage(std::span(reinterpret_cast<const std::uint8_t*>(GreyBmp(100).data()), GreyBmp(100).size()),
                          &grey, nullptr));
  std::string gif;
  ASSERT_TRUE(ImageWriter::EncodeGif(grey, &gif));
  WriteWholeFile(work_.File("pictures/grey.gif"), gif);
  for (const std::string& path : {program_.Path(), work_.Path(), work_.File("tintwise-cli")}) fs::permissions(path, readable);
  for (const std::string& path : {CacheFile(), work_.File("pictures/grey.bmp"), work_.File("pictures/grey.gif")}) {
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  fs::permissions(work_.File("pictures"), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                             work_.File("tintwise-cli"), "--dir", program_.Path()};
  auto run = [&](std::vector<std::string> tail) {
    std::vector<std::string> arguments = asNobody;
    arguments.insert(arguments.end(), tail.begin(), tail.end());
    return RunProgram(arguments);
  };
  std::string hundred;
  for (int i = 0; i < 27; ++i) hundred += "100,";
  const Outcome signature = run({"signature", work_.File("pictures/grey.bmp"), work_.File("pictures/grey.gif")});
  EXPECT_EQ(signature.status, 0) << signature.err;
  EXPECT_EQ(signature.out, hundred + "\t" + work_.File("pictures/grey.bmp") + "\n" + hundred + "\t" +
                               work_.File("pictures/grey.gif") + "\n");
  for (const char* name : {"pictures/grey.bmp", "pictures/grey.gif"}) {
    const Outcome search = run({"search", work_.File(name)});
    EXPECT_EQ(search.status, 0) << search.err;
    EXPECT_EQ(search.out, "0000\t7\tgrey\tp\n2700\t1\tdark\tp\n") << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(work_.File("pictures")), fs::directory_iterator()), 2);
  fs::permissions(work_.File("pictures"), fs::perms::owner_all);
}

// A portable copy in a folder its user cannot write keeps its files in the
// user's data directory: with no cache there, it names the file it looked
// for, says why the cache.db beside it is not used and how to use it.
TEST_F(CliTest, AReadOnlyPortableCopySaysWhichDirectoryItUsesAndWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
  namespace fs = std::filesystem;
  const std::string portable = work_.Path() + "portable", home = work_.Path() + "home";
  fs::create_directories(portable);
  fs::create_directories(home);
  fs::copy_file(Cli(), portable + "/tintwise-cli");
  WriteWholeFile(portable + "/cache.db", CacheBytes(work_.Path(), {{"1", "dark", "p", 0}}));
  WriteWholeFile(work_.File("grey.bmp"), GreyBmp(100));
  for (const std::string& path : {work_.Path(), portable, portable + "/cache.db", work_.File("grey.bmp")})
    fs::permissions(path, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  fs::permissions(home, fs::perms::all);
  const std::string data = home + "/.local/share/tintwise";
  const std::string note = "the program's directory " + portable + " cannot be written, so the files are kept in " +
                           data + " and the cache.db beside the program is not used; to use it, give --dir " +
                           portable + " or copy it into " + data;
  const auto run = [&](std::vector<std::string> tail) {
    std::vector<std::string> arguments = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                          "/usr/bin/env",     "-u",             "XDG_DATA_HOME",   "HOME=" + home,
                                          portable + "/tintwise-cli"};
    arguments.insert(arguments.end(), tail.begin(), tail.end());
    return RunProgram(arguments);
  };
  const Outcome search = run({"search", work_.File("grey.bmp")});
  EXPECT_EQ(search.status, 1);
  EXPECT_EQ(search.err, "tintwise-cli: no readable cache database at " + data + "/cache.db\ntintwise-cli: " + note +
                            "\n");
  const Outcome version = run({"--version"});
  EXPECT_NE(version.out.find("files: " + data + " (the user's data directory)\nnote: " + note + "\n"),
            std::string::npos)
      << version.out;
  EXPECT_FALSE(FileExists(data + "/cache.db"));
  // The hint works: the cache beside the program is read with --dir.
  EXPECT_EQ(run({"--dir", portable, "search", work_.File("grey.bmp")}).status, 0);
}

// What check cannot read is an error line with its reason and exit status 1,
// never a clean run over fewer pictures: a folder it may not list (given, or
// found inside), a picture it may not open, a folder too deep to name. Run as
// "nobody", since root reads everything.
TEST_F(CliTest, CheckReportsEverythingItCannotRead) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
  namespace fs = std::filesystem;
  WriteWholeFile(CacheFile(), CacheBytes(work_.Path(), {{"11", "t", "p", 100}}));
  fs::copy_file(Cli(), work_.File("tintwise-cli"));
  const struct {
    const char* path;  // a folder ends in '/'
    int mode;
  } tree[] = {{"locked/", 0700}, {"locked/in.bmp", 0644}, {"pics/", 0755},     {"pics/a.bmp", 0644},
              {"pics/secret.bmp", 0600}, {"pics/sub/", 0700}, {"pics/sub/c.bmp", 0644}, {"pics/z.bmp", 0644}};
  for (const auto& entry : tree) {
    const std::string path = work_.File(entry.path);
    if (path.back() == '/') {
      fs::create_directories(path);
    } else {
      WriteWholeFile(path, GreyBmp(100));
    }
  }
  // A folder whose path is longer than the system takes, before z.bmp in name order.
  int fd = ::open(work_.File("pics").c_str(), O_RDONLY | O_DIRECTORY);
  std::vector<int> deep = {fd};
  for (int level = 0; level < 20; ++level) {
    ASSERT_EQ(::mkdirat(fd, std::string(250, 'm').c_str(), 0755), 0);
    deep.push_back(fd = ::openat(fd, std::string(250, 'm').c_str(), O_RDONLY | O_DIRECTORY));
  }
  for (const auto& entry : tree) ASSERT_EQ(::chmod(work_.File(entry.path).c_str(), entry.mode), 0);
  for (const std::string& path : {program_.Path(), work_.Path()}) ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(CacheFile().c_str(), 0644), 0);

  const Outcome outcome = RunProgram({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                   work_.File("tintwise-cli"), "--dir", program_.Path(), "check",
                                   work_.File("locked"), work_.File("pics")});
  for (std::size_t level = deep.size() - 1; level > 0; --level) {  // too deep for the fixture to remove by name
    ::close(deep[level]);
    ::unlinkat(deep[level - 1], std::string(250, 'm').c_str(), AT_REMOVEDIR);
  }
  ::close(deep[0]);
  EXPECT_EQ(outcome.status, 1);
  const std::string pics = work_.File("pics");
  std::string tooLong = pics;  // the first folder whose path is PATH_MAX long or longer
  while (tooLong.size() < PATH_MAX) tooLong += "/" + std::string(250, 'm');
  const std::string posted = "posted\t0\t11\tsame\tt\tp\t", error = "error\t\t\t\t\t\t";
  const std::string lines[] = {error + work_.File("locked"), posted + pics + "/a.bmp",
                               error + tooLong, error + pics + "/secret.bmp",
                               error + pics + "/sub", posted + pics + "/z.bmp"};
  std::string expected;
  for (const std::string& line : lines) expected += line + "\n";
  EXPECT_EQ(outcome.out, expected);
  for (const std::string& reason :
       {work_.File("locked") + ": cannot read the folder: Permission denied\n",
        pics + "/secret.bmp: cannot open the file (cannot open the file: Permission denied)\n",
        pics + "/sub: cannot read the folder: Permission denied\n", std::string(": File name too long\n"),
        std::string("checked 6 pictures in ")}) {
    EXPECT_NE(outcome.err.find(reason), std::string::npos) << reason << "\n" << outcome.err;
  }
}

// A file name cannot forge a line or a field, reach the terminal as a control
// sequence or break a JSON line: check (both formats) and signature print
// every picture on exactly one line, the path escaped.
TEST_F(CliTest, FileNamesAreEscapedInEveryFormat) {
  WriteWholeFile(CacheFile(), CacheBytes(work_.Path(), {{"11", "t", "p", 100}}));
  std::filesystem::create_directory(work_.File("pics"));
  const std::string forged = "a.bmp\nposted\t0\t1\tsame\tx\ty\tz", escape = "b\x1b[2J\\.bmp", latin1 = "c\xe9.bmp";
  for (const std::string& name : {forged, escape, latin1}) WriteWholeFile(work_.File("pics/" + name), GreyBmp(100));
  const std::string folder = work_.File("pics/");
  const std::string shown[] = {folder + "a.bmp\\nposted\\t0\\t1\\tsame\\tx\\ty\\tz", folder + "b\\x1b[2J\\\\.bmp",
                               folder + "c\\xe9.bmp"};
  std::string tsv, json, signatures;
  for (const std::string& path : shown) {
    tsv += "posted\t0\t11\tsame\tt\tp\t" + path + "\n";
    std::string quoted;  // the escaped text as a JSON string
    for (const char c : path) quoted += c == '\\' ? std::string("\\\\") : std::string(1, c);
    json += "{\"verdict\":\"posted\",\"difference\":0,\"id\":\"11\",\"match\":\"same\",\"title\":\"t\",\"poster\":\"p\","
            "\"path\":\"" + quoted + "\"}\n";
  }
  const Outcome check = RunIn("check", {work_.File("pics")});
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_EQ(check.out, tsv);
  const Outcome checkJson = RunIn("check", {"--json", work_.File("pics")});
  EXPECT_EQ(checkJson.out, json);
  std::string hundred;
  for (int i = 0; i < 27; ++i) hundred += "100,";
  const Outcome sign = RunIn("signature", {work_.File("pics/" + forged), work_.File("pics/" + escape),
                                           work_.File("pics/missing\n" + escape)});
  EXPECT_EQ(sign.status, 1);
  EXPECT_EQ(sign.out, hundred + "\t" + shown[0] + "\n" + hundred + "\t" + shown[1] + "\n" + "error\t" + folder +
                          "missing\\n" + "b\\x1b[2J\\\\.bmp\n");
  EXPECT_EQ(sign.err.find('\x1b'), std::string::npos) << sign.err;
  EXPECT_NE(sign.err.find(folder + "missing\\nb\\x1b[2J\\\\.bmp: cannot open the file"), std::string::npos) << sign.err;
}

// A FIFO named as the query is refused at once as "not a regular file" (it
// used to be opened first, which waits for a writer forever); one inside a
// folder is no picture. `timeout` turns a hang into status 124.
TEST_F(CliTest, FifoAsTheQueryIsRefusedWithoutWaiting) {
  WriteWholeFile(CacheFile(), CacheBytes(work_.Path(), {{"11", "t", "p", 100}}));
  std::filesystem::create_directory(work_.File("pics"));
  ASSERT_EQ(::mkfifo(work_.File("pics/fifo.bmp").c_str(), 0644), 0);
  WriteWholeFile(work_.File("pics/grey.bmp"), GreyBmp(100));
  const std::string fifo = work_.File("pics/fifo.bmp");
  const struct {
    std::vector<std::string> command;
    std::string out;
    std::string reason;
  } cases[] = {
      {{"check", fifo}, "error\t\t\t\t\t\t" + fifo + "\n", fifo + ": cannot open the file (not a regular file)\n"},
      {{"search", fifo}, "", "cannot read the picture " + fifo + ": cannot open the file (not a regular file)\n"},
      {{"check", work_.File("pics")}, "posted\t0\t11\tsame\tt\tp\t" + work_.File("pics/grey.bmp") + "\n", "checked 1 "},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {"/usr/bin/timeout", "20", Cli(),
                                          "--dir", program_.Path()};
    arguments.insert(arguments.end(), c.command.begin(), c.command.end());
    const Outcome outcome = RunProgram(arguments);
    EXPECT_EQ(outcome.status, c.out.empty() || c.out[0] == 'e' ? 1 : 0) << c.command[0] << outcome.err;
    EXPECT_EQ(outcome.out, c.out) << c.command[0];
    EXPECT_NE(outcome.err.find(c.reason), std::string::npos) << outcome.err;
  }
}
