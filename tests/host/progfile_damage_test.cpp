// Saved files of real compiled programs, damaged in every way that one cut
// or one changed byte can damage them: the loader refuses the file with a
// code of its own, or the program runs to the same result. With the
// checksums switched off, the same changes reach the checks behind them:
// the loader then refuses or loads a program that runs without crashing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/compiler.h"
#include "runtime/blocks.h"
#include "app/driver.h"
#include "host/progfile.h"
#include "host/progsect.h"
#include "support/qv_test.h"

namespace {

using namespace qvtest;
using Bytes = std::vector<u8>;

std::string source_root() {
  std::string f = __FILE__;
  return f.substr(0, f.rfind("/tests/host/"));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_bytes(const std::string& path, const Bytes& b, size_t n) {
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(b.data(), 1, n, f);
  std::fclose(f);
}

struct Result {
  u32 status;
  std::string output;
  bool operator==(const Result& o) const { return status == o.status && output == o.output; }
};

class Damage : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    // Memory-backed when there is such a folder: each case rewrites the
    // file, and a disk file system may flush every rewrite.
    std::string tmpl = access("/dev/shm", W_OK) == 0 ? "/dev/shm/qvdamageXXXXXX"
                                                      : "/tmp/qvdamageXXXXXX";
    dir_ = mkdtemp(tmpl.data());
    path_ = dir_ + "/prog.cp";
    const std::string base = source_root() + "/tests/golden/" + GetParam();
    const std::string text = read_file(base + ".qv");
    fresh_env();
    optimtmpvarinit = read_file(base + ".args").find("-noptmp") == std::string::npos;
    Ref t = arena_alloc(u32(text.size() + 1));
    std::memcpy(mem + t, text.data(), text.size());
    mem[t + text.size()] = END_OF_TEXT;
    ASSERT_EQ(compile(t), 0u);
    ASSERT_EQ(save_program(path_.c_str()), 1u);
    const std::string saved = read_file(path_);
    file_.assign(saved.begin(), saved.end());
    ASSERT_EQ(load(file_.size()), 0u);
    reference_ = run();
  }
  void TearDown() override {
    reader::check_sums = true;
    optimtmpvarinit = 1;
    std::remove(path_.c_str());
    rmdir(dir_.c_str());
  }

  // 0 when the first n bytes of `bytes` load, else the refusal's code.
  u32 load(size_t n, const Bytes* bytes = nullptr) {
    write_bytes(path_, bytes ? *bytes : file_, n);
    cenv_reset();
    reset_run_state();
    if (load_program(path_.c_str(), 0)) return 0;
    return if_c_error ? if_c_error : 0xFFFF;
  }

  Result run() {
    testing::internal::CaptureStdout();
    const u32 status = execute(0);
    return {status, testing::internal::GetCapturedStdout()};
  }

  // Runs the loaded program in a child that may take a fifth of a second:
  // a changed program may well loop for ever, but it may not crash.
  static bool runs_without_crashing() {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
      itimerval t{};
      t.it_value.tv_usec = 200000;
      setitimer(ITIMER_REAL, &t, nullptr);
      if (!std::freopen("/dev/null", "w", stdout)) _exit(3);
      execute(0);
      _exit(0);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) || (WIFSIGNALED(st) && WTERMSIG(st) == SIGALRM);
  }

  std::string dir_, path_;
  Bytes file_;
  Result reference_;
};

bool file_code(u32 code) { return code == 1 || (code >= 64 && code <= 69); }

TEST_P(Damage, EveryCutIsRefused) {
  for (size_t n = 0; n < file_.size(); ++n) {
    const u32 code = load(n);
    EXPECT_TRUE(code >= 64 && code <= 69) << "cut at " << n << ": " << code;
  }
}

TEST_P(Damage, EveryChangedByteIsRefusedOrRunsTheSame) {
  for (size_t at = 0; at < file_.size(); ++at)
    for (u8 x : {u8(0x01), u8(0x80), u8(0xFF)}) {
      Bytes b = file_;
      b[at] ^= x;
      const u32 code = load(b.size(), &b);
      if (code == 0)
        EXPECT_EQ(run(), reference_) << "byte " << at << " ^ " << int(x);
      else
        EXPECT_TRUE(code >= 64 && code <= 69) << "byte " << at << " ^ " << int(x) << ": " << code;
    }
}

TEST_P(Damage, ChangesBehindTheChecksumsNeverLoadAnythingUnsafe) {
  reader::check_sums = false;
  std::vector<Bytes> loaded;
  for (size_t at = 32; at < file_.size(); ++at)
    for (u8 x : {u8(0x01), u8(0x02), u8(0x80)}) {
      Bytes b = file_;
      b[at] ^= x;
      const u32 code = load(b.size(), &b);
      if (code)
        EXPECT_TRUE(file_code(code)) << "byte " << at << " ^ " << int(x) << ": " << code;
      else
        loaded.push_back(std::move(b));
    }
  // Each run costs a process; an even sample of them (the fuzz target
  // runs many more).
  const size_t step = loaded.size() / 64 + 1;
  for (size_t k = 0; k < loaded.size(); k += step) {
    ASSERT_EQ(load(loaded[k].size(), &loaded[k]), 0u);
    EXPECT_TRUE(runs_without_crashing()) << "changed file " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Golden, Damage,
                         ::testing::Values("control/for", "variables/arrays",
                                           "strings/strings_noptmp", "compiler/nested_calls"),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
