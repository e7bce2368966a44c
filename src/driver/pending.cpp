// Weak placeholders that let the tree link while subsystems are being
// written. Every one is overridden by its real definition; the file is
// deleted once none is left.
#include "handlers.h"
#include "../compiler/compiler.h"
#include "../compiler/listing.h"
#include "../host/progfile.h"
#include "../host/sound.h"
#include "../types/strbase.h"
#include "../types/array.h"
#include "../types/itoa.h"
#include "variables.h"

#define WEAK __attribute__((weak))
namespace qv {
WEAK u32 mvarinit(Ref, const u8*, u32) { return fail(1); }
WEAK u32 log_no(Ref, const u8*, u32) { return fail(1); }
WEAK u32 log_invert(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_gt(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_lt(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_eq(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_ne(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_ge(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_le(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_and(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_or(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_ifassign(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_assign(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_dataini(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_sizeof(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_del(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_plus(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_mins(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_mul(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_div(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_mod(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_plusassgn(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_minusassgn(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_mulassgn(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_divassgn(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_inc(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_dec(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_abs(Ref, const u8*, u32) { return fail(1); }
WEAK u32 bitinvert(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_bitor(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_bitand(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_bitandnot(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_bitxor(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_bitorass(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_bitandass(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_bitandnotass(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_shiftleft(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_shiftright(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_shilftrass(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_shifrghtrass(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_sin(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_cos(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_asin(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_acos(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_tan(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_cotan(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_atan(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_atan2(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_pow(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_sqrt(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_sqrt2p2(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_repsqrt(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_exp(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_log(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_log10(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_floor(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_ceil(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_frexp(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_ldexp(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_modf(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_sign(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_min(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_max(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_sigmoid(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_sqr(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_rep(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_rad(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_grad(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_normalize(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_rand(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_seed(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_sinusoid(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_cosinusoid(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_stupr(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_stlowr(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_stcat(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_strlen(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_substr(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_getword(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_insubs(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_ascii(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_stdout(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_puts(Ref, const u8*, u32) { return fail(1); }
WEAK u32 log_if(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_loop(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_for(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_cont(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_contif(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_break(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_brkif(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_switch(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_case(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_bl_exec(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_bl_call(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_paramvalue(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_paramchange(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_parsgiven(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_ispargiven(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_isparvar(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_return(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_setret(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_bl_code(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_stop(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_delay(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_onanykeysetevent(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_processevents(Ref, const u8*, u32) { return fail(1); }
WEAK u32 _flushDisplay(Ref, const u8*, u32) { return fail(1); }
WEAK u32 _clearall(Ref, const u8*, u32) { return fail(1); }
WEAK u32 _setPen(Ref, const u8*, u32) { return fail(1); }
WEAK u32 _drawPixel(Ref, const u8*, u32) { return fail(1); }
WEAK u32 _drawPoint(Ref, const u8*, u32) { return fail(1); }
WEAK u32 _drawLine(Ref, const u8*, u32) { return fail(1); }
WEAK u32 _drawCircle(Ref, const u8*, u32) { return fail(1); }
WEAK u32 initfft(Ref, const u8*, u32) { return fail(1); }
WEAK u32 getfft(Ref, const u8*, u32) { return fail(1); }
WEAK u32 getsignal(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_trace(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_kbcode(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_time(Ref, const u8*, u32) { return fail(1); }
WEAK u32 convcall(Ref, const u8*, u32) { return fail(1); }
WEAK u32 mvardel(Ref, const u8*, u32) { return fail(1); }
WEAK u32 _arrindexing(Ref, const u8*, u32) { return fail(1); }
WEAK u32 _alltmpinits(Ref, const u8*, u32) { return fail(1); }
WEAK u32 _arrdynelem(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_st_init(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_st_clr(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_st_del(Ref, const u8*, u32) { return fail(1); }
WEAK u32 bl_init(Ref, const u8*, u32) { return fail(1); }
WEAK u32 bl_clr(Ref, const u8*, u32) { return fail(1); }
WEAK u32 bl_del(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_log_init(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_log_del(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_int_init(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_int_del(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_float_init(Ref, const u8*, u32) { return fail(1); }
WEAK u32 l_float_del(Ref, const u8*, u32) { return fail(1); }
WEAK u32 c_str_var(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 c_var_str(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 l_logint(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 l_logfloat(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 l_intlog(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 l_int_conv(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 l_intfloat(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 l_uintfloat(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 l_floatlog(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 l_floatint(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 l_floatuint(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 l_st_assign(VarEntry*, VarEntry*, u32) { return 0; }
WEAK i32 l_st_comp(VarEntry*, VarEntry*, u32) { return 0; }
WEAK u32 l_st_ft(StrDesc*, VarEntry*) { return 0; }
WEAK u32 l_st_tf(StrDesc*, VarEntry*) { return 0; }
WEAK u32 l_str_mksv(Exchange*, VarEntry*) { return 0; }
WEAK u32 l_str_mkld(Exchange*, VarEntry*) { return 0; }
WEAK u32 bl_assign(VarEntry*, VarEntry*, u32) { return 0; }
WEAK u32 bl_makesv(Exchange*, VarEntry*) { return 0; }
WEAK u32 bl_makeld(Exchange*, VarEntry*) { return 0; }
WEAK u32 l_log_assgn(VarEntry*, VarEntry*, u32) { return 0; }
WEAK i32 l_log_comp(VarEntry*, VarEntry*, u32) { return 0; }
WEAK u32 l_literalstr(StrDesc*, VarEntry*) { return 0; }
WEAK u32 l_log_mksv(Exchange*, VarEntry*) { return 0; }
WEAK u32 l_log_mkld(Exchange*, VarEntry*) { return 0; }
WEAK u32 l_int_ass(VarEntry*, VarEntry*, u32) { return 0; }
WEAK i32 l_int_comp(VarEntry*, VarEntry*, u32) { return 0; }
WEAK i32 l_uint_comp(VarEntry*, VarEntry*, u32) { return 0; }
WEAK u32 l_int_ft(StrDesc*, VarEntry*) { return 0; }
WEAK u32 l_int_tf(StrDesc*, VarEntry*) { return 0; }
WEAK u32 l_int_mksv(Exchange*, VarEntry*) { return 0; }
WEAK u32 l_int_mkld(Exchange*, VarEntry*) { return 0; }
WEAK u32 l_float_assign(VarEntry*, VarEntry*, u32) { return 0; }
WEAK i32 l_float_comp(VarEntry*, VarEntry*, u32) { return 0; }
WEAK u32 l_float_ft(StrDesc*, VarEntry*) { return 0; }
WEAK u32 l_float_tf(StrDesc*, VarEntry*) { return 0; }
WEAK u32 l_float_mksv(Exchange*, VarEntry*) { return 0; }
WEAK u32 l_float_mkld(Exchange*, VarEntry*) { return 0; }
WEAK u64 copcount = 0;
WEAK u32 prog_level = 0;
WEAK u32 compile(Ref) { return 1; }
WEAK void list_funcs() {}
WEAK u32 save_program(const char*) { return 0; }
WEAK u32 load_program(const char*, int) { return 0; }
WEAK void save_compiled(const char*, Ref) {}
WEAK void __winopensound() {}
WEAK u32 __windowsfunc(u32, u8*) { return 0; }
WEAK void st_dup(StrDesc*, const StrDesc*) {}
WEAK void st_shift(StrDesc*, int) {}
WEAK void st_insert(StrDesc*, StrDesc*) {}
WEAK void st_c_ins(const char*, StrDesc*) {}
WEAK void st_upr(StrDesc*) {}
WEAK void st_lowr(StrDesc*) {}
WEAK i32 st_comp(const StrDesc*, const StrDesc*) { return 0; }
WEAK void st_setloc(StrDesc*, u32) {}
WEAK void st_getword(StrDesc*, StrDesc*, const u8*) {}
WEAK void st_set(StrDesc*, const char*, u32) {}
WEAK Ref ar_crea(u32, u32) { return fail(1); }
WEAK void ar_free(Ref) {}
WEAK u32 qv_itoa(u32, bool, u32, u32, char* out) { out[0] = 0; return 0; }
WEAK u32 convert_or_assign(VarEntry*, VarEntry*) { return fail(1); }
WEAK u32 createfields(VarEntry*, u32, u32, const u32*) { return fail(1); }
WEAK u32 release_array(VarEntry*) { return fail(1); }
}  // namespace qv
