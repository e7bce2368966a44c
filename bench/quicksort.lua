local a = {}
local x = 7
local function qs(lo, hi)
  if lo < hi then
    local p = a[math.floor((lo + hi) / 2)]
    local l, h = lo, hi
    while true do
      while not (a[l] >= p) do l = l + 1 end
      while not (a[h] <= p) do h = h - 1 end
      if l <= h then a[l], a[h] = a[h], a[l]; l = l + 1; h = h - 1 end
      if l > h then break end
    end
    qs(lo, h); qs(l, hi)
  end
end
for i = 0, 19999 do x = (x * 75 + 74) % 65537; a[i] = x end
for r = 1, 10 do x = 7; for i = 0, 19999 do x = (x * 75 + 74) % 65537; a[i] = x end; qs(0, 19999) end
print(a[0] .. " " .. a[10000] .. " " .. a[19999])
