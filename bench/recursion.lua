local depth, total = 0, 0
local down
down = function(arg)
  total = total + arg
  depth = depth + 1
  if depth < 60 then down(depth) end
end
for k = 1, 30000 do depth = 0; down(depth) end
print(total)
