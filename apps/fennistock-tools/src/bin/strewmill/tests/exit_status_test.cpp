// Runs the real binary: exit statuses, the error report and the run banner on standard error.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

extern char** environ;

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

struct Outcome {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh directory per test, removed afterwards.
class ExitStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "strewmill-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return path(name);
  }

  // Runs the tool with `args`; STREWMILL_LOG is set to `log_env`, or removed when null.
  Outcome run(const std::vector<std::string>& args, const char* log_env = nullptr) const {
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "STREWMILL_LOG=", 14) != 0) env_text.emplace_back(*e);
    }
    if (log_env != nullptr) env_text.push_back(std::string("STREWMILL_LOG=") + log_env);
    std::vector<char*> env;
    for (std::string& e : env_text) env.push_back(e.data());
    env.push_back(nullptr);

    std::vector<std::string> argv_text = {STREWMILL_BINARY};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string out_path = path("stdout.txt"), err_path = path("stderr.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    Outcome outcome;
    const int rc = posix_spawn(&pid, STREWMILL_BINARY, &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      ADD_FAILURE() << "posix_spawn: " << std::strerror(rc);
      return outcome;
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) outcome.status = WEXITSTATUS(wstatus);
    outcome.out = slurp(out_path);
    outcome.err = slurp(err_path);
    return outcome;
  }

  // The required options, with the output directory inside the test's directory.
  std::vector<std::string> required(const std::string& landblocks) const {
    return {"--dat-dir", path("dats"), "--landblocks", landblocks, "--out", path("out")};
  }

  fs::path dir_;
};

TEST_F(ExitStatusTest, HelpVersionAndUsageErrors) {
  const Outcome help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("Bake AC procedural scenery"));
  EXPECT_EQ(help.err, "");

  const Outcome version = run({"-V"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "fennistock-tools 0.1.0\n");

  const std::vector<std::string> kUsageErrors[] = {
      {"--landblocks", "0xA9B4", "--out", path("out")},
      {"--dat-dir", path("dats"), "--landblocks", "0xA9B4\xFF", "--out", path("out")},
      {"--dat-dir", path("dats"), "--landblocks", "0xA9B4", "--out", path("out"), "--throttle-ms", "1.5"},
  };
  for (const auto& args : kUsageErrors) {
    SCOPED_TRACE(testing::PrintToString(args));
    const Outcome o = run(args);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_THAT(o.err, HasSubstr("Usage: fennistock-tools"));
  }
  EXPECT_FALSE(fs::exists(path("out")));
}

TEST_F(ExitStatusTest, ConfigurationErrorsReportTheEarliestStep) {
  const std::string list = write("lbs.txt", "0xA9B4\n\n0xA9G4\n");
  struct Case { std::vector<std::string> extra; std::string landblocks; std::string report; };
  const Case kCases[] = {
      {{"--mode", "Strict"}, "0xA9B4",
       "Error: --mode parse error: unknown BakeMode `Strict` (expected `ace-compat` or `strict`)\n"},
      {{"--mode", " strict"}, "0xA9B4",
       "Error: --mode parse error: unknown BakeMode ` strict` (expected `ace-compat` or `strict`)\n"},
      {{"--mode", "Strict"}, "0xA3AE..0xA3AD", "Error: --landblocks range high `0xA3AD` is below low `0xA3AE`\n"},
      {{"--mode", "Strict", "--region-did", "zz"}, "0xA3AE..0xA3AD",
       "Error: parse hex u32 `zz`\n\nCaused by:\n    invalid digit found in string\n"},
      {{}, "@" + list,
       "Error: landblock list `" + list + "` line 3\n\nCaused by:\n    0: parse hex u32 `0xA9G4`\n"
       "    1: invalid digit found in string\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.extra) + " " + c.landblocks);
    std::vector<std::string> args = required(c.landblocks);
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const Outcome o = run(args);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, c.report);  // nothing logged without --verbose
    EXPECT_FALSE(fs::exists(path("out")));  // the checks run before the output directory is made
  }
}

TEST_F(ExitStatusTest, BannerShowsTheConvertedConfiguration) {
  const std::string list = write("lbs.txt", "0xA9B4\r\n\r\n# comment\r\n0xA9B4");
  struct Case { std::vector<std::string> args; std::string banner; };
  const Case kCases[] = {
      {{"--landblocks", "@" + list}, "--landblocks=@" + list + " (2 LBs) --region-did=0x13000000 --mode=ace-compat"},
      {{"--landblocks", "0xA3AE..0xA4AF", "--mode", "acecompat", "--region-did", "13000000"},
       "--landblocks=0xA3AE..0xA4AF (4 LBs) --region-did=0x13000000 --mode=ace-compat"},
      {{"--landblocks", " 0xA9B4", "--mode=ace_compat", "--region-did", "0xAB"},
       "--landblocks= 0xA9B4 (1 LBs) --region-did=0x000000AB --mode=ace-compat"},
      {{"--landblocks", "0xA9B4", "--mode", "strict"}, "--landblocks=0xA9B4 (1 LBs) --region-did=0x13000000 --mode=strict"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const std::string out = path("out/nested/deeper");
    std::vector<std::string> args = {"--verbose", "--dat-dir", path("dats"), "--out", out};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome o = run(args);
    EXPECT_THAT(o.err, HasSubstr("[strewmill] [info] strewmill: --dat-dir=" + path("dats") + " " + c.banner +
                                 " --out=" + out + "\n"));
    EXPECT_TRUE(fs::is_directory(out));  // created with its missing parents
  }
}

TEST_F(ExitStatusTest, LogEnvironmentAddsLevelsButNotTheGlobalOne) {
  struct Case { const char* env; bool banner; };
  const Case kCases[] = {{"info", false}, {"trace", false}, {"strewmill=info", true}, {"warn,strewmill=debug", true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.env);
    const Outcome o = run(required("0xA9B4"), c.env);
    if (c.banner) {
      EXPECT_THAT(o.err, HasSubstr("strewmill: --dat-dir="));
    } else {
      EXPECT_THAT(o.err, Not(HasSubstr("strewmill: --dat-dir=")));
    }
  }
}

TEST_F(ExitStatusTest, OutputDirectoryThatCannotBeMade) {
  const std::string file = write("plain", "");
  struct Case { std::string out; std::string cause; };
  const Case kCases[] = {
      {file, "File exists (os error 17)"},
      {file + "/sub", "Not a directory (os error 20)"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.out);
    const Outcome o = run({"--dat-dir", path("dats"), "--landblocks", "0xA9B4", "--out", c.out});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Error: create --out `" + c.out + "`\n\nCaused by:\n    " + c.cause + "\n");
  }
}

}  // namespace
