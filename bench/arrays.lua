local a = {}
local s = 0
for j = 1, 5000 do
  for i = 0, 999 do a[i] = i + j end
  for i = 0, 999 do s = s + a[i] end
end
-- QV's int wraps at 32 bits: print the same 32-bit two's complement value.
s = s % 4294967296
if s >= 2147483648 then s = s - 4294967296 end
print(s)
