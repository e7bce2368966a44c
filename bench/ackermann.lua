local function ack(m, n)
  if m == 0 then return n + 1 end
  if n == 0 then return ack(m - 1, 1) end
  return ack(m - 1, ack(m, n - 1))
end
local s = 0
for rep = 1, 200 do for i = 1, 20 do s = s + ack(2, i) end end
print(s)
