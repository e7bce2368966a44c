local n = 0
for i = 1, 1000000 do
  local k = i % 10
  local s = "ab" .. string.sub("hello world", k + 1, k + 3)
  n = n + #s
end
print(n)
