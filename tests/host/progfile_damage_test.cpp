// Saved files of a real compiled program, with and without the temporaries
// optimisation, damaged in every way one cut or one changed byte can damage
// them: the loader refuses the file with a code of its own, or the program
// runs to the same result. With the checksums off, the same changes reach
// the checks behind them: the loader refuses, or loads a program that runs
// without crashing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/driver.h"
#include "compiler/compiler.h"
#include "host/progfile.h"
#include "host/progsect.h"
#include "runtime/blocks.h"
#include "support/qv_test.h"

namespace {

using namespace qvtest;
using Bytes = std::vector<u8>;
using Result = std::pair<u32, std::string>;

const char* const PROGRAM = R"(int i n a[4]; str s "ab"; float f 1.5;
block sq { n += (* i i) };
for i 0 3 1 { a[i] = (+ i 1); exec sq };
if (> n 10) { s = (concat s "cd") };
f = (* f 2.5);
puts "n " n " s " s " f " f " a " a[3];
)";

class Damage : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    // Memory-backed where there is such a folder: each case rewrites the file.
    std::string tmpl = access("/dev/shm", W_OK) == 0 ? "/dev/shm/qvdamageXXXXXX"
                                                      : "/tmp/qvdamageXXXXXX";
    dir_ = mkdtemp(tmpl.data());
    path_ = dir_ + "/prog.cp";
    fresh_env();
    optimtmpvarinit = GetParam();
    ASSERT_EQ(compile(place_text(PROGRAM)), 0u);
    ASSERT_EQ(save_program(path_.c_str()), 1u);
    FILE* f = std::fopen(path_.c_str(), "rb");
    for (int c; (c = std::fgetc(f)) != EOF;) file_.push_back(u8(c));
    std::fclose(f);
    ASSERT_EQ(load(file_), 0u);
    reference_ = run();
    ASSERT_EQ(reference_.second, "n 14 s abcd f 3.750000 a 4\n");
  }
  void TearDown() override {
    reader::check_sums = true;
    optimtmpvarinit = 1;
    std::remove(path_.c_str());
    rmdir(dir_.c_str());
  }

  // 0 when the first n bytes (all by default) load, else the refusal's code.
  u32 load(const Bytes& b, size_t n = ~size_t{0}) {
    FILE* f = std::fopen(path_.c_str(), "wb");
    std::fwrite(b.data(), 1, std::min(n, b.size()), f);
    std::fclose(f);
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
  // Runs the loaded program in a child given a fifth of a second: a
  // changed program may loop for ever, but it may not crash.
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

TEST_P(Damage, EveryCutIsRefused) {
  for (size_t n = 0; n < file_.size(); ++n) {
    const u32 code = load(file_, n);
    EXPECT_TRUE(code >= 64 && code <= 69) << "cut at " << n << ": " << code;
  }
}

TEST_P(Damage, EveryChangedByteIsRefusedOrRunsTheSame) {
  for (size_t at = 0; at < file_.size(); ++at)
    for (u8 x : {u8(0x01), u8(0x80), u8(0xFF)}) {
      Bytes b = file_;
      b[at] ^= x;
      const u32 code = load(b);
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
      const u32 code = load(b);
      if (code == 0)
        loaded.push_back(std::move(b));
      else
        EXPECT_TRUE(code == 1 || (code >= 64 && code <= 69)) << "byte " << at << ": " << code;
    }
  // Each run costs a process: an even sample (the fuzz target runs many more).
  for (size_t k = 0; k < loaded.size(); k += loaded.size() / 64 + 1) {
    ASSERT_EQ(load(loaded[k]), 0u);
    EXPECT_TRUE(runs_without_crashing()) << "changed file " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Program, Damage, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "optimised" : "noptmp"; });

}  // namespace
