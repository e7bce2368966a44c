local n = 120
local u, v, w = {}, {}, {}
local function atav()
  for i = 0, n - 1 do
    local s = 0
    for j = 0, n - 1 do local ij = i + j; s = s + u[j] / (ij * (ij + 1) / 2 + i + 1) end
    w[i] = s
  end
  for i = 0, n - 1 do
    local s = 0
    for j = 0, n - 1 do local ij = i + j; s = s + w[j] / (ij * (ij + 1) / 2 + j + 1) end
    v[i] = s
  end
end
for i = 0, n - 1 do u[i] = 1 end
for k = 1, 19 do atav(); for i = 0, n - 1 do u[i] = v[i] end end
atav()
local uv, uu = 0, 0
for i = 0, n - 1 do uv = uv + u[i] * v[i]; uu = uu + u[i] * u[i] end
print(string.format("%.6f", math.sqrt(uv / uu)))
