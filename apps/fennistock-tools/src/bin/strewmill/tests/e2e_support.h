// Support for the tests that build DAT directories and run the real strewmill binary.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testing/archive_writer.h"

namespace fennistock::tool::e2e {

inline std::string read_text(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void write_text(const std::filesystem::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// A fresh directory under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/strewmill-e2e-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The records of the three archives, written as a DAT directory on demand.
struct DatSet {
  std::map<uint32_t, std::vector<uint8_t>> portal;
  std::map<uint32_t, std::vector<uint8_t>> cell;
  std::map<uint32_t, std::vector<uint8_t>> local = {{0x21000001, {1, 2, 3, 4}}};
  uint32_t block_size = 256;

  static void write_archive(const std::filesystem::path& path, const std::map<uint32_t, std::vector<uint8_t>>& records,
                            uint32_t block_size) {
    auto w = testing::ArchiveWriter::create(path, {.block_size = block_size, .max_entries_per_node = 61});
    if (!w.ok()) throw std::runtime_error("cannot create " + path.string());
    bool compress = false;
    for (const auto& [id, bytes] : records) {
      w->add(id, bytes, {.compress = compress});
      compress = !compress;  // every other record compressed
    }
    if (!w->finish().ok()) throw std::runtime_error("cannot finish " + path.string());
  }

  void write(const std::filesystem::path& dir) const {
    std::filesystem::create_directories(dir);
    write_archive(dir / "client_portal.dat", portal, block_size);
    write_archive(dir / "client_cell_1.dat", cell, block_size);
    write_archive(dir / "client_local_English.dat", local, block_size);
  }
};

struct RunResult {
  int status = -1;  // exit status, or -1 when killed by a signal
  std::string out;
  std::string err;
};

// Limits for run_strewmill_bounded.
struct RunLimits {
  int timeout_seconds = 20;      // the child is killed (SIGKILL) after this long
  uint64_t file_size_limit = 0;  // RLIMIT_FSIZE of the child in bytes; 0 leaves it unlimited
};

struct BoundedRunResult : RunResult {
  int signal = 0;          // the signal that ended the child, 0 when it exited
  bool timed_out = false;  // killed after RunLimits::timeout_seconds
  double seconds = 0;      // wall-clock time of the run
  long max_rss_kb = 0;     // the child's peak resident memory (getrusage ru_maxrss)
};

// Runs the tool with `args`, capturing both streams (`env` entries "NAME=value" are added), under a
// time bound and an optional file-size limit, reporting how the child ended and what it cost. The limit applies to the child's every file, its captured standard
// streams included, so it must leave room for them.
inline BoundedRunResult run_strewmill_bounded(const std::vector<std::string>& args, const RunLimits& limits,
                                              const std::vector<std::string>& env = {}) {
  TempDir io;
  const std::filesystem::path out_path = io / "stdout";
  const std::filesystem::path err_path = io / "stderr";
  std::vector<std::string> copy = args;
  std::string binary = STREWMILL_BINARY;
  std::vector<char*> argv;
  argv.push_back(binary.data());
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  struct timespec start {};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out_fd = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err_fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    ::unsetenv("STREWMILL_LOG");
    for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
    if (limits.file_size_limit != 0) {
      const struct rlimit lim = {limits.file_size_limit, limits.file_size_limit};
      ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  BoundedRunResult r;
  int wstatus = 0;
  struct rusage usage {};
  const auto elapsed = [&] {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) + static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
  };
  while (true) {
    const pid_t done = ::wait4(pid, &wstatus, WNOHANG, &usage);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) break;
    if (!r.timed_out && elapsed() > limits.timeout_seconds) {
      ::kill(pid, SIGKILL);
      r.timed_out = true;
    }
    ::usleep(2000);
  }
  r.seconds = elapsed();
  r.max_rss_kb = usage.ru_maxrss;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  r.out = read_text(out_path);
  r.err = read_text(err_path);
  return r;
}

// As run_strewmill_bounded with the default limits, for the tests that look only at the outcome.
inline RunResult run_strewmill(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  return run_strewmill_bounded(args, RunLimits{.timeout_seconds = 120}, env);
}

}  // namespace fennistock::tool::e2e
