local fizz, buzz, both, plain = 0, 0, 0, 0
for i = 1, 3000000 do
  if i % 15 == 0 then both = both + 1
  elseif i % 3 == 0 then fizz = fizz + 1
  elseif i % 5 == 0 then buzz = buzz + 1
  else plain = plain + 1 end
end
print(fizz .. " " .. buzz .. " " .. both .. " " .. plain)
