// Every OpHandler of the system, by name, and the handler registry that the
// code page's handler words index. The list is the one place that gives a
// handler its number; the numbers never leave the process (program files
// name handlers by table row, not by number).
#pragma once

#include "qv.h"

// Operation handlers of funcent, in table order of first appearance.
#define QV_OP_HANDLERS(X)                                                      \
  X(mvarinit) X(log_no) X(log_invert) X(l_gt) X(l_lt) X(l_eq) X(l_ne) X(l_ge) \
  X(l_le) X(l_and) X(l_or) X(l_ifassign) X(l_assign) X(l_dataini) X(l_sizeof) \
  X(l_del) X(l_plus) X(l_mins) X(l_mul) X(l_div) X(l_mod) X(l_plusassgn)      \
  X(l_minusassgn) X(l_mulassgn) X(l_divassgn) X(l_inc) X(l_dec) X(l_abs)      \
  X(bitinvert) X(l_bitor) X(l_bitand) X(l_bitandnot) X(l_bitxor)              \
  X(l_bitorass) X(l_bitandass) X(l_bitandnotass) X(l_shiftleft)               \
  X(l_shiftright) X(l_shilftrass) X(l_shifrghtrass) X(l_sin) X(l_cos)         \
  X(l_asin) X(l_acos) X(l_tan) X(l_cotan) X(l_atan) X(l_atan2) X(l_pow)       \
  X(l_sqrt) X(l_sqrt2p2) X(l_repsqrt) X(l_exp) X(l_log) X(l_log10)            \
  X(l_floor) X(l_ceil) X(l_frexp) X(l_ldexp) X(l_modf) X(l_sign) X(l_min)     \
  X(l_max) X(l_sigmoid) X(l_sqr) X(l_rep) X(l_rad) X(l_grad)                  \
  X(l_normalize) X(l_rand) X(l_seed) X(l_sinusoid) X(l_cosinusoid)            \
  X(l_stupr) X(l_stlowr) X(l_stcat) X(l_strlen) X(l_substr) X(l_getword)      \
  X(l_insubs) X(l_ascii) X(l_stdout) X(l_puts) X(log_if) X(l_loop) X(l_for)   \
  X(l_cont) X(l_contif) X(l_break) X(l_brkif) X(l_switch) X(l_case)           \
  X(l_bl_exec) X(l_bl_call) X(l_paramvalue) X(l_paramchange) X(l_parsgiven)   \
  X(l_ispargiven) X(l_isparvar) X(l_return) X(l_setret) X(l_bl_code)          \
  X(l_stop) X(l_delay) X(l_onanykeysetevent) X(l_processevents)               \
  X(_flushDisplay) X(_clearall) X(_setPen) X(_drawPixel) X(_drawPoint)        \
  X(_drawLine) X(_drawCircle) X(initfft) X(getfft) X(getsignal) X(l_trace)    \
  X(l_kbcode) X(l_time)

// System functions and record handlers that compiled code calls.
#define QV_SYS_HANDLERS(X) \
  X(convcall) X(mvardel) X(_arrindexing) X(_alltmpinits) X(_arrdynelem)

// The slot handlers init, clr and del of typent (the ones with the OpHandler
// signature, which may stand in call records).
#define QV_SLOT_HANDLERS(X)                                                   \
  X(l_st_init) X(l_st_clr) X(l_st_del) X(bl_init) X(bl_clr) X(bl_del)         \
  X(l_log_init) X(l_log_del) X(l_int_init) X(l_int_del) X(l_float_init)       \
  X(l_float_del)

#define QV_ALL_HANDLERS(X) QV_OP_HANDLERS(X) QV_SYS_HANDLERS(X) QV_SLOT_HANDLERS(X)

// Conversion functions of convtab.
#define QV_CONVERSIONS(X)                                                     \
  X(c_str_var) X(c_var_str) X(l_logint) X(l_logfloat) X(l_intlog)             \
  X(l_int_conv) X(l_intfloat) X(l_uintfloat) X(l_floatlog) X(l_floatint)      \
  X(l_floatuint)

namespace qv {

#define QV_DECLARE_HANDLER(n) u32 n(Ref result, const u8* params, u32 count);
QV_ALL_HANDLERS(QV_DECLARE_HANDLER)
#undef QV_DECLARE_HANDLER

#define QV_DECLARE_CONV(n) u32 n(VarEntry* src, VarEntry* dst);
QV_CONVERSIONS(QV_DECLARE_CONV)
#undef QV_DECLARE_CONV

// Handler ids: 0 is the empty handler word of a record that was never
// completed; the registry maps it to a handler that fails with code 71.
enum HandlerId : u32 {
  H_NONE = 0,
#define QV_HANDLER_ID(n) H_##n,
  QV_ALL_HANDLERS(QV_HANDLER_ID)
#undef QV_HANDLER_ID
  H_COUNT
};

enum ConvId : u8 {
  C_NONE = 0,
#define QV_CONV_ID(n) C_##n,
  QV_CONVERSIONS(QV_CONV_ID)
#undef QV_CONV_ID
  C_COUNT
};

extern const OpHandler handlers[H_COUNT];
extern const ConvFn convfns[C_COUNT];

// Non-OpHandler slot functions of typent.
u32 l_st_assign(VarEntry* d, VarEntry* s, u32 n);
i32 l_st_comp(VarEntry* a, VarEntry* b, u32 n);
u32 l_st_ft(StrDesc* t, VarEntry* s);
u32 l_st_tf(StrDesc* t, VarEntry* s);
u32 l_str_mksv(Exchange* x, VarEntry* s);
u32 l_str_mkld(Exchange* x, VarEntry* s);
u32 bl_assign(VarEntry* d, VarEntry* s, u32 n);
u32 bl_makesv(Exchange* x, VarEntry* s);
u32 bl_makeld(Exchange* x, VarEntry* s);
// Shared by bool, int, uint and float (inslot_type.cpp).
u32 l_inslot_assign(VarEntry* d, VarEntry* s, u32 n);
u32 l_inslot_mksv(Exchange* x, VarEntry* s);
u32 l_inslot_mkld(Exchange* x, VarEntry* s);
i32 l_log_comp(VarEntry* a, VarEntry* b, u32 n);
u32 l_literalstr(StrDesc* t, VarEntry* s);
i32 l_int_comp(VarEntry* a, VarEntry* b, u32 n);
i32 l_uint_comp(VarEntry* a, VarEntry* b, u32 n);
u32 l_int_ft(StrDesc* t, VarEntry* s);
u32 l_int_tf(StrDesc* t, VarEntry* s);
i32 l_float_comp(VarEntry* a, VarEntry* b, u32 n);
u32 l_float_ft(StrDesc* t, VarEntry* s);
u32 l_float_tf(StrDesc* t, VarEntry* s);

}  // namespace qv
