local n = 1000000
local flags = {}
local count
for rep = 1, 3 do
  for i = 0, n do flags[i] = false end
  for i = 2, 1000 do
    if not flags[i] then for j = i * i, n, i do flags[j] = true end end
  end
  count = 0
  for i = 2, n do if not flags[i] then count = count + 1 end end
end
print(count)
