local a, b, c, d, f = 0, 0, 0, 0, 0
for i = 1, 2000000 do
  local x = (i % 100) * 1.01
  if x >= 90.0 then a = a + 1 elseif x >= 80.0 then b = b + 1 elseif x >= 70.0 then c = c + 1
  elseif x >= 60.0 then d = d + 1 else f = f + 1 end
end
print(a .. " " .. b .. " " .. c .. " " .. d .. " " .. f)
