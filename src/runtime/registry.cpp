#include "errcodes.h"
#include "handlers.h"

namespace qv {

namespace {
// A record whose handler word was never filled in cannot run.
u32 h_none(Ref, const u8*, u32) { return fail(E_BAD_INIT); }
}  // namespace

const OpHandler handlers[H_COUNT] = {
    h_none,
#define QV_REGISTER(n) n,
    QV_ALL_HANDLERS(QV_REGISTER)
#undef QV_REGISTER
};

const ConvFn convfns[C_COUNT] = {
    nullptr,
#define QV_REGISTER_CONV(n) n,
    QV_CONVERSIONS(QV_REGISTER_CONV)
#undef QV_REGISTER_CONV
};

}  // namespace qv
