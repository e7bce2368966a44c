local function gcd(a, b)
  while true do
    if b == 0 then break end
    local t = a % b; a = b; b = t
  end
  return a
end
local s = 0
for i = 1, 600 do for j = 1, 600 do s = s + gcd(i, j) end end
print(s)
