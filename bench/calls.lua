local function add(a, b) return a + b end
local s = 0
for i = 1, 3000000 do s = add(s, 3) end
print(s)
