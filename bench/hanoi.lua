local moves = 0
local function hanoi(n, a, b, c)
  if n > 0 then hanoi(n - 1, a, c, b); moves = moves + 1; hanoi(n - 1, c, b, a) end
end
for r = 1, 4 do hanoi(18, 1, 2, 3) end
print(moves)
