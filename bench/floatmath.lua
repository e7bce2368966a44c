local s = 0.0
local sin, sqrt = math.sin, math.sqrt
for i = 1, 3000000 do
  local x = i * 0.001
  s = s + sin(x) * sqrt(x)
end
print(math.floor(s))
