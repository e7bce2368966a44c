// The memory checkers' view of the arena (see arena_guard.h). Only the
// sanitizer and valgrind builds compile anything here.
#include "arena_guard.h"

#if QV_ARENA_GUARD

#if QV_ARENA_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#else
#include <valgrind/memcheck.h>
#endif

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

namespace qv::guard {

namespace {

// Poison is laid this far ahead of the bump pointer, a chunk at a time:
// poisoning the whole reservation at once would write half a gigabyte of
// shadow for space most runs never reach.
constexpr u64 POISON_CHUNK = 1u << 20;

// At most this many leaked blocks are listed one by one.
constexpr unsigned LEAKS_LISTED = 20;

struct Live {
  u32 size;
  u32 serial;          // allocation ordinal, as arena_fail_after counts them
  const void* caller;  // return address in the code that asked for it
  bool kept;           // lives until the process ends by design
};

std::unordered_map<Ref, Live> live;
u32 serial = 0;
u64 poisoned_end = 0;
u64 arena_size = 0;

#if QV_ARENA_ASAN
void poison(u64 off, u64 len) { ASAN_POISON_MEMORY_REGION(mem + off, len); }
// Handed out: readable and writable (valgrind: not yet defined).
void unpoison(u64 off, u64 len) { ASAN_UNPOISON_MEMORY_REGION(mem + off, len); }
// The allocator's own words, which hold what it wrote there.
void open_own(u64 off, u64 len) { ASAN_UNPOISON_MEMORY_REGION(mem + off, len); }
void print_stack() { __sanitizer_print_stack_trace(); }

std::string where(const void* pc) {
  char buf[512] = "";
  // The return address points after the call; one byte back lands in it.
  __sanitizer_symbolize_pc(const_cast<char*>(static_cast<const char*>(pc)) - 1,
                           "%p %F %L", buf, sizeof buf);
  return buf;
}
#else
void poison(u64 off, u64 len) { VALGRIND_MAKE_MEM_NOACCESS(mem + off, len); }
void unpoison(u64 off, u64 len) { VALGRIND_MAKE_MEM_UNDEFINED(mem + off, len); }
void open_own(u64 off, u64 len) { VALGRIND_MAKE_MEM_DEFINED(mem + off, len); }
void print_stack() { VALGRIND_PRINTF_BACKTRACE("arena: released here\n"); }

std::string where(const void* pc) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", pc);
  return buf;
}
#endif

[[noreturn]] void refuse(const char* what, Ref off, u32 size, u32 had) {
  std::fprintf(stderr,
               "=================================================================\n"
               "==%d==ERROR: arena: %s: block 0x%08x released with %u bytes", getpid(),
               what, off, size);
  if (had) std::fprintf(stderr, ", allocated with %u", had);
  std::fputs("\n", stderr);
  print_stack();
  std::abort();
}

}  // namespace

void reserved(u64 size, u64 head_size, const u32 (*fixed)[2], unsigned nfixed) {
  arena_size = size;
  poison(0, head_size);
  for (unsigned i = 0; i < nfixed; ++i) open_own(fixed[i][0], fixed[i][1]);
  poisoned_end = head_size;
}

void reaching(u64 end) {
  while (poisoned_end < end + POISON_CHUNK && poisoned_end < arena_size) {
    const u64 len = std::min(POISON_CHUNK, arena_size - poisoned_end);
    poison(poisoned_end, len);
    poisoned_end += len;
  }
}

void handed_out(Ref off, u32 size, const void* caller) {
  // The span is poisoned already (fresh space or a freed block); opening
  // exactly `size` bytes leaves the rounding and the red zone closed.
  unpoison(off, size);
  live[off] = Live{size, ++serial, caller, false};
}

void taken_back(Ref off, u32 size, u64 span) {
  auto it = live.find(off);
  if (it == live.end()) refuse("release of a block that is not live (released twice?)", off, size, 0);
  if (it->second.size != size) refuse("release with the wrong size", off, size, it->second.size);
  live.erase(it);
  poison(off, span);
}

void open_link(Ref off) { open_own(off, 4); }
void close_link(Ref off) { poison(off, 4); }

void keep(Ref off) {
  auto it = live.find(off);
  if (it != live.end()) it->second.kept = true;
}

void keep_all_live() {
  for (auto& [off, b] : live) b.kept = true;
}

u32 report_leaks(std::FILE* out) {
  std::vector<std::pair<Ref, Live>> leaked;
  u64 bytes = 0;
  for (const auto& [off, b] : live)
    if (!b.kept) {
      leaked.emplace_back(off, b);
      bytes += b.size;
    }
  if (leaked.empty()) return 0;
  std::sort(leaked.begin(), leaked.end(),
            [](const auto& a, const auto& b) { return a.second.serial < b.second.serial; });
  std::fprintf(out,
               "=================================================================\n"
               "==%d==ERROR: arena leak: %zu block(s) still live after the end-of-run "
               "erasure\n",
               getpid(), leaked.size());
  for (size_t i = 0; i < leaked.size() && i < LEAKS_LISTED; ++i) {
    const auto& [off, b] = leaked[i];
    std::fprintf(out, "    block 0x%08x, %u bytes, allocation #%u, from %s\n", off, b.size,
                 b.serial, where(b.caller).c_str());
  }
  if (leaked.size() > LEAKS_LISTED)
    std::fprintf(out, "    ... and %zu more\n", leaked.size() - LEAKS_LISTED);
  std::fprintf(out, "SUMMARY: arena leak: %llu byte(s) in %zu block(s).\n",
               static_cast<unsigned long long>(bytes), leaked.size());
  return static_cast<u32>(leaked.size());
}

}  // namespace qv::guard

#endif
