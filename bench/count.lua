local s = 0
for i = 1, 10000000 do s = s + i end
-- QV's int wraps at 32 bits: print the same 32-bit two's complement value.
s = s % 4294967296
if s >= 2147483648 then s = s - 4294967296 end
print(s)
