-- Iterating over a list of integers.
local values = {}
for i = 1, 1000 do values[#values + 1] = i end
local sum = 0
for _ = 1, 2000 do for _, v in ipairs(values) do sum = sum + v end end
print(sum)
