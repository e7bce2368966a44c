local c = 0
for i = 1, 3000000 do
  if (i % 3 == 0 and i % 5 ~= 0) or i % 7 == 0 then c = c + 1 end
end
print(c)
