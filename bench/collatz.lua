local best, bestn = 0, 0
for n = 1, 30000 do
  local x, steps = n, 0
  while true do
    if x == 1 then break end
    if x % 2 == 0 then x = math.floor(x / 2) else x = x * 3 + 1 end
    steps = steps + 1
  end
  if steps > best then best = steps; bestn = n end
end
print(bestn .. " " .. best)
