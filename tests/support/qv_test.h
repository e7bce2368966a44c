// Helpers for unit tests: a fresh environment, slots, and hand-built code pages.
#pragma once

#include <string>
#include <vector>

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/executor.h"
#include "runtime/handlers.h"

namespace qvtest {

using namespace qv;

// New tables as the driver sets them up; every run-time switch back at rest.
void fresh_env();

// `src` in the arena as a loaded program text, ended by 0x1A.
Ref place_text(const std::string& src);

// The next slot of table `t`, set as given and not initialised by its type
// (a slot whose declaration has not run yet, or one made by hand).
VarEntry* take(TableHead& t, u32 type, u32 flags, u32 value = 0);
// A named variable slot of `type`, initialised by its type.
VarEntry* new_var(u32 type);
// A temporary (rettable) slot of `type`, initialised.
VarEntry* new_temp(u32 type);
// A constant slot (cnstable) of a scalar type holding `value`.
VarEntry* new_const(u32 type, u32 value);
// A str variable (or constant) holding `text`.
VarEntry* new_str(const std::string& text, bool constant = false);
std::string str_of(const VarEntry* slot);

// A text record over a fresh buffer of `cap` characters holding `text`,
// its cursor at the start, as the ft and tf handlers receive one.
StrDesc* text_record(const std::string& text, u32 cap = 256);
std::string text_of(const StrDesc* d);

// Writes call records into the code page.
class CodeBuilder {
 public:
  // Starts a block: reserves its clean-up word.
  Ref begin_block();
  // Appends a record; returns the record's address.
  Ref record(u32 handler, Ref result, std::vector<Ref> params, u8 extra = 0, Ref position = 0);
  // Marks `record` (returned by record()) as the block's clean-up record.
  void set_cleanup(Ref block, Ref record);
  void end_block();
  // A block constant that runs `block`; the first one made is the program.
  VarEntry* block_slot(Ref block);
};

// Calls a handler directly with slot parameters, or with raw parameter
// words (declaration markers, conversion ids).
u32 call(u32 handler, VarEntry* result, const std::vector<VarEntry*>& params, u8 extra = 0);
u32 callw(u32 handler, Ref result, const std::vector<u32>& words, u8 extra = 0);
// The error code of a RunError that `f` throws, 0 when none.
template <class F>
u32 run_error(F f) {
  try {
    f();
  } catch (const RunError& e) {
    forget_entries();  // as execute() does when a run ends in an error
    return e.code;
  }
  return 0;
}

}  // namespace qvtest
