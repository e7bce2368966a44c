local st, c0, c1, c2, c3 = 0, 0, 0, 0, 0
for i = 1, 2000000 do
  if st == 0 then c0 = c0 + 1; st = 1
  elseif st == 1 then c1 = c1 + 1; if i % 3 == 0 then st = 2 else st = 0 end
  elseif st == 2 then c2 = c2 + 1; st = 3
  else c3 = c3 + 1; st = 0 end
end
print(c0 .. " " .. c1 .. " " .. c2 .. " " .. c3)
