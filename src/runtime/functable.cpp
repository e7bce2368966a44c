#include "functable.h"

#include "handlers.h"

namespace qv {

namespace {

constexpr u32 ANY = TY_NONE;
constexpr u8 VO = P_VARONLY;
constexpr u8 VA = P_VARONLY | P_ARRAY;

const ParDesc assgn_pars[] = {{ANY, VO}, {ANY, 0}};
const ParDesc del_pars[] = {{ANY, VA}};
const ParDesc l_on_int_pars[] = {{TY_UINT, 0}};
const ParDesc _l_dataini[] = {{ANY, VA}, {ANY, 0}};
const ParDesc _l_trace[] = {{TY_BOOL, 0}, {TY_BOOL, 0}, {TY_BOOL, 0}};
const ParDesc _l_sizeof[] = {{ANY, VA}};
const ParDesc _l_bl_code[] = {{TY_BLOCK, VO}, {TY_BLOCK, 0}};
const ParDesc bl_exec_pars[] = {{TY_BLOCK, 0}};
const ParDesc _l_bl_call[] = {{TY_BLOCK, 0}, {ANY, 0}};
const ParDesc _l_paramvalue[] = {{TY_UINT, 0}, {ANY, 0}};
const ParDesc _l_paramchange[] = {{TY_UINT, 0}, {ANY, 0}};
const ParDesc _l_ispargiven[] = {{TY_UINT, 0}};
const ParDesc l_loop_pars[] = {{TY_BLOCK, 0}};
const ParDesc l_for_pars[] = {{TY_INT, VO}, {TY_INT, 0}, {TY_INT, 0}, {TY_INT, 0}, {TY_BLOCK, 0}};
const ParDesc brkif_pars[] = {{TY_BOOL, 0}};
const ParDesc _l_switch[] = {{TY_UINT, 0}, {TY_BLOCK, 0}};
const ParDesc intf_pars[] = {{TY_INT, 0}, {TY_INT, 0}};
const ParDesc intid_pars[] = {{ANY, VO}};
const ParDesc _any2_1var[] = {{ANY, VO}, {ANY, 0}};
const ParDesc _l_rand[] = {{TY_UINT, 0}, {TY_UINT, 0}};
const ParDesc _l_normalize[] = {{ANY, VA}, {ANY, 0}, {ANY, 0}};
const ParDesc lno_pars[] = {{TY_BOOL, 0}};
const ParDesc _log_invert[] = {{TY_BOOL, VO}};
const ParDesc logif_pars[] = {{TY_BOOL, 0}, {TY_BLOCK, 0}, {TY_BLOCK, 0}};
const ParDesc orand_pars[] = {{TY_BOOL, 0}, {TY_BOOL, 0}};
const ParDesc _l_ifassign[] = {{TY_BOOL, 0}, {ANY, 0}, {ANY, 0}};
const ParDesc stulpars[] = {{TY_STR, 0}};
const ParDesc stctpars[] = {{TY_STR, 0}, {TY_STR, 0}};
const ParDesc _l_substr[] = {{TY_STR, 0}, {TY_UINT, 0}, {TY_UINT, 0}};
const ParDesc _l_insubs[] = {{TY_STR, VO}, {TY_STR, 0}, {TY_UINT, 0}};
const ParDesc _l_strlen[] = {{TY_STR, 0}};
const ParDesc _l_ascii[] = {{TY_UINT, 0}};
const ParDesc _l_getword[] = {{TY_STR, 0}, {TY_UINT, 0}};
const ParDesc _l_stdout[] = {{TY_STR, 0}};
const ParDesc intf_3pars[] = {{TY_UINT, 0}, {TY_UINT, 0}, {TY_UINT, 0}};
const ParDesc intf_4pars[] = {{TY_UINT, 0}, {TY_UINT, 0}, {TY_UINT, 0}, {TY_UINT, 0}};
const ParDesc intf_5pars[] = {{TY_UINT, 0}, {TY_UINT, 0}, {TY_UINT, 0}, {TY_UINT, 0}, {TY_UINT, 0}};
const ParDesc getsignal_pars[] = {{TY_UINT, VA}, {TY_UINT, VA}};
const ParDesc _initfft[] = {{TY_UINT, 0}};
const ParDesc _l_math[] = {{TY_FLOAT, 0}};
const ParDesc _l_math2[] = {{TY_FLOAT, 0}, {TY_FLOAT, 0}};
const ParDesc _l_pow[] = {{TY_FLOAT, 0}, {TY_FLOAT, 0}};
const ParDesc _l_frexp[] = {{TY_FLOAT, 0}, {TY_INT, VO}};
const ParDesc _l_modf[] = {{TY_FLOAT, 0}, {TY_FLOAT, VO}};
const ParDesc _l_sinusoid[] = {{TY_FLOAT, 0}, {TY_FLOAT, 0}, {TY_FLOAT, 0}, {TY_FLOAT, 0}};
const ParDesc _l_onanykeysetevent[] = {{TY_BLOCK, 0}};
const ParDesc _l_processevents[] = {{TY_BOOL, 0}};
const ParDesc _l_return[] = {{ANY, 0}};
const ParDesc _l_case[] = {{ANY, 0}, {ANY, 0}};
const ParDesc any2_pars[] = {{ANY, 0}, {ANY, 0}};
const ParDesc _l_abs[] = {{ANY, 0}};
const ParDesc log_pars[] = {{ANY, 0}, {ANY, 0}};

constexpr u32 B = TY_BOOL, U = TY_UINT, I = TY_INT, F = TY_FLOAT, STR = TY_STR, N = TY_NONE;

}  // namespace

FuncEntry funcent[FUNC_COUNT] = {
    // Columns: name, handler, result type, minParams, maxParams, parameter
    // descriptors, flags (F_*). Each group names its rows and the file
    // that holds their handlers.
    // 0: the declaration pseudo-operation (variables.cpp)
    {"", H_mvarinit, N, 1, 0, nullptr, 0x9},
    // 1-11: negation, comparisons and logic (logic.cpp)
    {"!", H_log_no, B, 1, 0, lno_pars, 0x2},
    {"!!", H_log_invert, B, 1, 0, _log_invert, 0x82},
    {">", H_l_gt, B, 2, 0, log_pars, 0x16},
    {"<", H_l_lt, B, 2, 0, log_pars, 0x16},
    {"==", H_l_eq, B, 2, 0, log_pars, 0x16},
    {"!=", H_l_ne, B, 2, 0, log_pars, 0x16},
    {">=", H_l_ge, B, 2, 0, log_pars, 0x16},
    {"<=", H_l_le, B, 2, 0, log_pars, 0x16},
    {"&&", H_l_and, B, 2, 0, orand_pars, 0x1e},
    {"||", H_l_or, B, 2, 0, orand_pars, 0x1e},
    {"?", H_l_ifassign, N, 3, 3, _l_ifassign, 0x6},
    // 12-15: assignment, array data and size, clearing (var_ops.cpp)
    {"=", H_l_assign, N, 2, 0, assgn_pars, 0x96},
    {"data", H_l_dataini, N, 2, 32, _l_dataini, 0x10},
    {"sizeof", H_l_sizeof, U, 1, 0, _l_sizeof, 0x12},
    {"clear", H_l_del, N, 1, 32, del_pars, 0x10},
    // 16-47: arithmetic, compound assignment, bit operations and shifts (int_ops.cpp)
    {"+", H_l_plus, N, 2, 32, any2_pars, 0x16},
    {"-", H_l_mins, N, 2, 0, any2_pars, 0x16},
    {"*", H_l_mul, N, 2, 32, any2_pars, 0x16},
    {"/", H_l_div, N, 2, 0, any2_pars, 0x16},
    {"%", H_l_mod, N, 2, 0, any2_pars, 0x16},
    {"+=", H_l_plusassgn, N, 2, 0, _any2_1var, 0x96},
    {"=+", H_l_plusassgn, N, 2, 0, _any2_1var, 0x96},
    {"-=", H_l_minusassgn, N, 2, 0, _any2_1var, 0x96},
    {"=-", H_l_minusassgn, N, 2, 0, _any2_1var, 0x96},
    {"*=", H_l_mulassgn, N, 2, 0, _any2_1var, 0x96},
    {"=*", H_l_mulassgn, N, 2, 0, _any2_1var, 0x96},
    {"/=", H_l_divassgn, N, 2, 0, _any2_1var, 0x96},
    {"=/", H_l_divassgn, N, 2, 0, _any2_1var, 0x96},
    {"++", H_l_inc, N, 1, 0, intid_pars, 0x96},
    {"--", H_l_dec, N, 1, 0, intid_pars, 0x96},
    {"abs", H_l_abs, I, 1, 0, _l_abs, 0x96},
    {"~", H_bitinvert, N, 1, 0, any2_pars, 0x16},
    {"|", H_l_bitor, N, 2, 0, any2_pars, 0x16},
    {"&", H_l_bitand, N, 2, 0, any2_pars, 0x16},
    {"&~", H_l_bitandnot, N, 2, 0, any2_pars, 0x16},
    {"^", H_l_bitxor, N, 2, 0, any2_pars, 0x16},
    {"|=", H_l_bitorass, N, 2, 0, _any2_1var, 0x96},
    {"=|", H_l_bitorass, N, 2, 0, _any2_1var, 0x96},
    {"&=", H_l_bitandass, N, 2, 0, _any2_1var, 0x96},
    {"=&", H_l_bitandass, N, 2, 0, _any2_1var, 0x96},
    {"=&~", H_l_bitandnotass, N, 2, 0, _any2_1var, 0x96},
    {"<<", H_l_shiftleft, N, 2, 0, any2_pars, 0x16},
    {">>", H_l_shiftright, N, 2, 0, any2_pars, 0x16},
    {"<<=", H_l_shilftrass, N, 2, 0, _any2_1var, 0x96},
    {"=<<", H_l_shilftrass, N, 2, 0, _any2_1var, 0x96},
    {">>=", H_l_shifrghtrass, N, 2, 0, _any2_1var, 0x96},
    {"=>>", H_l_shifrghtrass, N, 2, 0, _any2_1var, 0x96},
    // 48-75: maths (math.cpp)
    {"sin", H_l_sin, F, 1, 0, _l_math, 0x2},
    {"cos", H_l_cos, F, 1, 0, _l_math, 0x2},
    {"arcsin", H_l_asin, F, 1, 0, _l_math, 0x2},
    {"arccos", H_l_acos, F, 1, 0, _l_math, 0x2},
    {"tan", H_l_tan, F, 1, 0, _l_math, 0x2},
    {"cotan", H_l_cotan, F, 1, 0, _l_math, 0x2},
    {"arctan", H_l_atan, F, 1, 0, _l_math, 0x2},
    {"arctan2", H_l_atan2, F, 2, 0, _l_math2, 0x2},
    {"^^", H_l_pow, F, 2, 0, _l_pow, 0x6},
    {"sqrt", H_l_sqrt, F, 1, 0, _l_math, 0x2},
    {"sqrt2", H_l_sqrt2p2, F, 2, 0, _l_math2, 0x2},
    {"+1/sqrt", H_l_repsqrt, F, 1, 0, _l_math, 0x2},
    {"e^", H_l_exp, F, 1, 0, _l_math, 0x2},
    {"log", H_l_log, F, 1, 0, _l_math, 0x2},
    {"log10", H_l_log10, F, 1, 0, _l_math, 0x2},
    {"floor", H_l_floor, I, 1, 0, _l_math, 0x2},
    {"ceil", H_l_ceil, I, 1, 0, _l_math, 0x2},
    {"frexp", H_l_frexp, F, 2, 0, _l_frexp, 0x2},
    {"*2^", H_l_ldexp, F, 2, 0, _l_math2, 0x6},
    {"fraction", H_l_modf, F, 1, 2, _l_modf, 0xa},
    {"sign", H_l_sign, F, 1, 0, _l_math, 0x2},
    {"min", H_l_min, F, 2, 0, _l_math2, 0x2},
    {"max", H_l_max, F, 2, 0, _l_math2, 0x2},
    {"limiter", H_l_sigmoid, F, 2, 0, _l_math2, 0x2},
    {"^2", H_l_sqr, F, 1, 0, _l_math, 0x6},
    {"+1/", H_l_rep, F, 1, 0, _l_math, 0x2},
    {"rad", H_l_rad, F, 1, 0, _l_math, 0x2},
    {"frad", H_l_grad, F, 1, 0, _l_math, 0x2},
    // 76-78: array normalisation and random numbers (int_ops.cpp)
    {"norm", H_l_normalize, N, 3, 0, _l_normalize, 0x10},
    {"random", H_l_rand, U, 0, 2, _l_rand, 0xa},
    {"seed", H_l_seed, N, 0, 0, nullptr, 0x0},
    // 79-80: waveforms (math.cpp)
    {"sinusoid", H_l_sinusoid, F, 4, 0, _l_sinusoid, 0x2},
    {"cosinusoid", H_l_cosinusoid, F, 4, 0, _l_sinusoid, 0x2},
    // 81-90: strings and text output (str_ops.cpp)
    {"upr", H_l_stupr, STR, 1, 0, stulpars, 0x2},
    {"lowr", H_l_stlowr, STR, 1, 0, stulpars, 0x2},
    {"concat", H_l_stcat, STR, 2, 0, stctpars, 0x1a},
    {"length", H_l_strlen, U, 1, 0, _l_strlen, 0x2},
    {"substr", H_l_substr, STR, 2, 3, _l_substr, 0x1a},
    {"word", H_l_getword, STR, 2, 0, _l_getword, 0x2},
    {"insubs", H_l_insubs, N, 3, 0, _l_insubs, 0x0},
    {"ascii", H_l_ascii, STR, 1, 0, _l_ascii, 0x1a},
    {"stdout", H_l_stdout, N, 1, 0, _l_stdout, 0x18},
    {"puts", H_l_puts, N, 1, 0, _l_stdout, 0x18},
    // 91: "if" (blocks.cpp)
    {"if", H_log_if, N, 2, 3, logif_pars, 0x18},
    // 92-110: loops, control flow, block calls and parameters, "stop" (blocks.cpp)
    {"loop", H_l_loop, N, 1, 0, l_loop_pars, 0x0},
    {"for", H_l_for, N, 5, 0, l_for_pars, 0x0},
    {"continue", H_l_cont, N, 0, 0, nullptr, 0x0},
    {"continueif", H_l_contif, N, 1, 0, brkif_pars, 0x0},
    {"break", H_l_break, N, 0, 0, nullptr, 0x0},
    {"breakif", H_l_brkif, N, 1, 0, brkif_pars, 0x0},
    {"switch", H_l_switch, N, 2, 0, _l_switch, 0x18},
    {"case", H_l_case, U, 2, 32, _l_case, 0x16},
    {"exec", H_l_bl_exec, N, 1, 0, bl_exec_pars, 0x18},
    {"call", H_l_bl_call, N, 1, 32, _l_bl_call, 0x82},
    {"par#", H_l_paramvalue, N, 1, 2, _l_paramvalue, 0x42},
    {"par@", H_l_paramchange, N, 2, 2, _l_paramchange, 0x0},
    {"npars", H_l_parsgiven, U, 0, 0, nullptr, 0x2},
    {"ispar", H_l_ispargiven, B, 1, 0, _l_ispargiven, 0x2},
    {"isparvar", H_l_isparvar, B, 1, 0, _l_ispargiven, 0x2},
    {"return", H_l_return, N, 0, 1, _l_return, 0x18},
    {"setret", H_l_setret, N, 1, 0, _l_return, 0x10},
    {"code", H_l_bl_code, N, 2, 0, _l_bl_code, 0x0},
    {"stop", H_l_stop, N, 0, 0, nullptr, 0x0},
    // 111: "delay" (var_ops.cpp)
    {"delay", H_l_delay, N, 1, 0, l_on_int_pars, 0x0},
    // 112-113: keyboard and events (events.cpp)
    {"onkbhit", H_l_onanykeysetevent, N, 1, 0, _l_onanykeysetevent, 0x0},
    {"processevents", H_l_processevents, B, 0, 1, _l_processevents, 0x8a},
    // 114-120: drawing (draw.cpp)
    {"flush", H__flushDisplay, N, 0, 0, nullptr, 0x0},
    {"clearall", H__clearall, N, 0, 0, nullptr, 0x0},
    {"color", H__setPen, N, 3, 0, intf_3pars, 0x0},
    {"pixel", H__drawPixel, N, 5, 0, intf_5pars, 0x0},
    {"point", H__drawPoint, N, 2, 0, intf_pars, 0x0},
    {"line", H__drawLine, N, 4, 0, intf_4pars, 0x0},
    {"circle", H__drawCircle, N, 3, 0, intf_3pars, 0x0},
    // 121-123: sound and FFT (sound.cpp)
    {"initfft", H_initfft, N, 1, 0, _initfft, 0x0},
    {"getfft", H_getfft, N, 2, 0, getsignal_pars, 0x0},
    {"getsignal", H_getsignal, N, 1, 2, getsignal_pars, 0x8},
    // 124: "trace" (var_ops.cpp)
    {"trace", H_l_trace, N, 1, 3, _l_trace, 0x8},
    // 125: the key code (events.cpp)
    {"kbcode", H_l_kbcode, I, 0, 0, nullptr, 0x2},
    // 126: "time" (var_ops.cpp)
    {"time", H_l_time, STR, 0, 0, nullptr, 0x2},
};

bool delivers_converted(const FuncEntry& f) {
  return f.handler == H_l_bl_call || f.handler == H_l_ifassign || f.handler == H_l_paramvalue;
}

}  // namespace qv
