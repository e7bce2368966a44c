local a = {}
local s = 0
for j = 1, 1000 do
  for i = 0, 999 do a[i] = i + j end
  for i = 0, 999 do s = s + a[i] end
end
print(s)
