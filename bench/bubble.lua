local a = {}
local x = 1
for i = 0, 2999 do x = (x * 75 + 74) % 65537; a[i] = x end
for i = 0, 2998 do
  for j = 0, 2998 - i do
    if a[j] > a[j + 1] then a[j], a[j + 1] = a[j + 1], a[j] end
  end
end
print(a[0] .. " " .. a[1500] .. " " .. a[2999])
