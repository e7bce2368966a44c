// Array storage: a header over equally sized, zeroed elements with one
// spare element behind the capacity.
#include "array.h"

#include "arena.h"
#include "errcodes.h"

namespace qv {

// A zero element size would make every element count a division by zero.
Ref ar_crea(u32 elemSize, u32 n) {
  if (elemSize == 0) return fail(E_NO_MEMORY);
  const u64 bytes = (u64{n} + 1) * elemSize;
  const Ref head = arena_calloc(sizeof(ArrHead));
  if (!head) return fail(E_NO_MEMORY);
  const Ref data = bytes <= 0xFFFFFFFFu ? arena_calloc(static_cast<u32>(bytes)) : 0;
  if (!data) {
    arena_free(head, sizeof(ArrHead));
    return fail(E_NO_MEMORY);
  }
  auto* h = at<ArrHead>(head);
  h->data = h->cursor = h->used = data;
  h->limit = data + n * elemSize;
  h->elemSize = elemSize;
  h->flags = 0;
  return head;
}

void ar_free(Ref head) {
  if (!head) return;
  const auto* h = at<ArrHead>(head);
  arena_free(h->data, h->limit - h->data + h->elemSize);
  arena_free(head, sizeof(ArrHead));
}

}  // namespace qv
