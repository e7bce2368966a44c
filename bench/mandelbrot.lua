for rep = 1, 10 do
for row = 0, 31 do
  local line = ""
  local ci = row / 16 - 1
  for col = 0, 63 do
    local cr = col / 24 - 2
    local zr, zi, k = 0, 0, 0
    while k < 200 and zr * zr + zi * zi <= 4 do
      zr, zi = zr * zr - zi * zi + cr, 2 * zr * zi + ci
      k = k + 1
    end
    if k == 200 then line = line .. "*" else line = line .. " " end
  end
  print(line)
end
end
