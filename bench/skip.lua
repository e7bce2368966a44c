local n = 0
for a = 1, 2000 do
  for b = 1, 1000 do
    if (a * b) % 7 ~= 3 then goto continue end
    n = n + 1
    ::continue::
  end
end
print(n)
