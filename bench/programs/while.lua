-- A while loop with a condition: counting and summing.
local i, sum = 0, 0
while i < 5000000 do i = i + 1 sum = sum + i % 10 end
print(i .. " " .. sum)
