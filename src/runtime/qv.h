// Core records of the QV run-time: value slots, string descriptors, array
// headers and the handler contract. Every word that the language's data
// structures call a pointer is a 32-bit reference: an offset into the one
// arena (see arena.h) that holds all QV-visible data. Offset 0 is the null
// reference. Handler words are indices into the handler registry.
#pragma once

#include <cstdint>
#include <cstring>

namespace qv {

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using i16 = std::int16_t;
using i32 = std::int32_t;
using u64 = std::uint64_t;
using i64 = std::int64_t;
using Ref = u32;  // arena offset, 0 = none

// ---- the arena ----------------------------------------------------------
// Base of the arena, reserved before main() runs and never moved. Release
// builds reserve it at a fixed address (QV_ARENA_BASE): then a slot's
// address is its reference plus a constant, and no step of the executor
// loads the base first. The sanitizers keep their own memory around that
// address, so their builds take the base the system gives.
#ifdef QV_ARENA_BASE
inline u8* const mem = reinterpret_cast<u8*>(std::uintptr_t{QV_ARENA_BASE});
#else
extern u8* const mem;
#endif

template <class T>
inline T* at(Ref off) { return reinterpret_cast<T*>(mem + off); }
inline Ref ref_of(const void* p) {
  return static_cast<Ref>(static_cast<const u8*>(p) - mem);
}

// Code-page words are packed and unaligned: always go through these.
inline u32 rd32(const void* p) { u32 v; std::memcpy(&v, p, 4); return v; }
inline void wr32(void* p, u32 v) { std::memcpy(p, &v, 4); }

constexpr u32 END_MARK = 0xFFFFFFFFu;  // end of block, array-declaration marker

// ---- value slot -----------------------------------------------------------
enum : u32 {
  V_EMPTY = 0x01, V_CODE = 0x02, V_CONST = 0x04, V_TEMP = 0x08,
  V_ARRAY = 0x10, V_ELEM = 0x20, V_STRUCT = 0x40, V_FIELD = 0x80,
};

// Type numbers are the rows of typent (and the type numbers of program files).
enum TypeId : u32 {
  TY_STR = 0, TY_BLOCK = 1, TY_BOOL = 2, TY_INT = 3, TY_UINT = 4, TY_FLOAT = 5,
  TY_COUNT = 6,
  TY_NONE = 0xFFFFFFFFu,  // "no type" / "any type"
};

// bool, int, uint and float hold their value in the slot's value word (the
// types with T_INSLOT): their init, assign and del only set that word or
// the flags, so hot paths do that in place instead of calling the handler.
inline bool in_slot(u32 type) { return type >= TY_BOOL && type <= TY_FLOAT; }

struct VarEntry {
  u32 value;  // int/uint/bool/float bits; str: Ref to StrDesc; block: Ref to block; array: Ref to ArrHead
  u32 type;   // TypeId (for an array: the element type)
  u32 flags;
};
static_assert(sizeof(VarEntry) == 12);

inline VarEntry* S(Ref off) { return at<VarEntry>(off); }
// Parameter i of a handler: params points at packed 32-bit slot references.
inline Ref par_ref(const u8* params, unsigned i) { return rd32(params + 4 * i); }
inline VarEntry* P(const u8* params, unsigned i) { return S(rd32(params + 4 * i)); }

inline i32 as_int(u32 v) { return static_cast<i32>(v); }
inline float as_float(u32 v) { float f; std::memcpy(&f, &v, 4); return f; }
inline u32 float_bits(float f) { u32 v; std::memcpy(&v, &f, 4); return v; }

// ---- string descriptor --------------------------------------------------------
// All fields are arena references; text is [start, end), NUL at end and at limit.
struct StrDesc {
  u32 flags;
  Ref start;
  Ref end;
  Ref limit;
  Ref cursor;
};
static_assert(sizeof(StrDesc) == 20);
constexpr u32 STR_CAPACITY = 256;   // characters of a str value
constexpr u32 STR_BUFSIZE = 257;    // bytes of a str buffer

// ---- array header ---------------------------------------------------------------
struct ArrHead {
  Ref data;
  Ref cursor;
  Ref used;
  Ref limit;
  u32 elemSize;
  u32 flags;  // 0: owns its storage
};
static_assert(sizeof(ArrHead) == 24);
constexpr u32 MAX_ARRAY = 0x100000;  // elements of one array

inline u32 arr_count(const ArrHead* h) { return (h->used - h->data) / h->elemSize; }

// ---- handler contract -------------------------------------------------------------
// handler(result slot ref or 0, packed parameter refs, count): non-zero on
// success; 0 with if_c_error set on failure. count: low byte = parameters,
// high byte = the record's extra count.
using OpHandler = u32 (*)(Ref result, const u8* params, u32 count);

// Conversion function: writes src converted into dst's value.
using ConvFn = u32 (*)(VarEntry* src, VarEntry* dst);

// Exchange record between program files and a type's mksv/mkld.
struct Exchange {
  Ref bytes;
  u32 length;
  u8 flags;  // bit 1: the caller releases the bytes after use
};
constexpr u8 X_RELEASE = 0x01;

extern u32 if_c_error;

// Fail a handler: store the code and return 0.
inline u32 fail(u32 code) { if_c_error = code; return 0; }

}  // namespace qv
